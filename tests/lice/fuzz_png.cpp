// libFuzzer target for the PNG decoder: any byte string must give a bitmap of at most
// 16384 x 16384 or null, with no memory error, undefined behaviour or leak (built with ASan
// and UBSan by tests/lice/run_fuzz.sh).
#include "WDL/lice/lice.h"

#include <climits>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size > (size_t)INT_MAX) return 0;
  if (LICE_IBitmap* bm = LICE_LoadPNGFromMemory(data, (int)size, nullptr))
  {
    if (bm->getWidth() < 1 || bm->getHeight() < 1 || bm->getWidth() > 16384 || bm->getHeight() > 16384) __builtin_trap();
    // read every pixel, so that uninitialised or unowned memory would show
    unsigned acc = 0;
    for (int y = 0; y < bm->getHeight(); ++y)
      for (int x = 0; x < bm->getWidth(); ++x) acc += bm->getBits()[(size_t)y * bm->getRowSpan() + x];
    volatile unsigned sink = acc;
    (void)sink;
    delete bm;
  }
  // into a caller's bitmap, which must survive a refusal
  LICE_MemBitmap mine(3, 3);
  LICE_LoadPNGFromMemory(data, (int)size, &mine);
  return 0;
}
