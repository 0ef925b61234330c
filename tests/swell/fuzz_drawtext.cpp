// libFuzzer target for the text calls: random flags, rectangles, clips, font sizes, faces,
// styles, contexts and byte strings must never read or write out of bounds, leak or hit
// undefined behaviour (built with ASan and UBSan by tests/swell/run_fuzz.sh).
#include "WDL/swell/swell.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace
{
// Reads fixed-size fields from the front of the input, zeros once it runs out.
struct Reader
{
  const uint8_t* p;
  size_t n;
  template <class T>
  T take()
  {
    T v = 0;
    const size_t k = n < sizeof(T) ? n : sizeof(T);
    std::memcpy(&v, p, k);
    p += k;
    n -= k;
    return v;
  }
};

const char* const kFaces[] = {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono", "", nullptr, "No Such Face",
                              "DejaVu Sans Bold Italic"};
}

// fontconfig loses a few hundred bytes while parsing its configuration, once per process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
  setenv("FONTCONFIG_FILE", SWELL_TEST_FONTCONFIG, 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  Reader in = {data, size};
  const uint32_t flags = in.take<uint32_t>();
  const uint8_t shape = in.take<uint8_t>();
  const int w = 1 + in.take<uint8_t>() % 96, h = 1 + in.take<uint8_t>() % 64;
  RECT r;
  r.left = in.take<int16_t>();
  r.top = in.take<int16_t>();
  r.right = in.take<int16_t>();
  r.bottom = in.take<int16_t>();
  if (shape & 0x80) r.right = (int)in.take<uint32_t>();  // the far ends of the int range now and then
  RECT clip;
  clip.left = in.take<int8_t>();
  clip.top = in.take<int8_t>();
  clip.right = in.take<int8_t>();
  clip.bottom = in.take<int8_t>();
  int16_t height = in.take<int16_t>();
  if ((shape & 0x60) == 0x60) height = (int16_t)(height % 600);  // mostly sizes that render quickly
  const uint8_t style = in.take<uint8_t>();
  const int len = (shape & 0x10) ? (int)(in.take<uint8_t>()) - 8 : -1;
  const uint32_t colors = in.take<uint32_t>();

  // the rest is the text, terminated here
  char* text = static_cast<char*>(std::malloc(in.n + 1));
  if (!text) return 0;
  std::memcpy(text, in.p, in.n);
  text[in.n] = 0;

  HDC ctx = (shape & 1) ? nullptr : SWELL_CreateMemContext(nullptr, w, h);
  HFONT font = CreateFont(height, style & 0x3f, 0, 0, (style & 1) ? FW_BOLD : FW_NORMAL, (char)(style & 2), 0, 0, 0,
                          0, 0, (char)((style >> 2) & 7), 0, kFaces[(style >> 5) % 7]);
  SelectObject(ctx, font);
  if (shape & 2) DeleteObject(font);  // a released font left in the slot
  SetTextColor(ctx, colors);
  SetBkColor(ctx, ~colors);
  SetBkMode(ctx, (shape >> 2) & 1);
  if (shape & 8)
  {
    SWELL_PushClipRegion(ctx);
    SWELL_SetClipRegion(ctx, &clip);
  }
  RECT a = r;
  SWELL_DrawText(ctx, text, len, &a, (int)flags);
  RECT b = r;
  SWELL_DrawText(ctx, text, len, &b, (int)(flags | DT_CALCRECT));
  TEXTMETRIC tm;
  GetTextMetrics(ctx, &tm);
  if (shape & 8) SWELL_PopClipRegion(ctx);
  SWELL_PopClipRegion(ctx);

  // the frame buffer is read whole, so that a write beyond it would have shown
  if (const uint32_t* p = static_cast<const uint32_t*>(SWELL_GetCtxFrameBuffer(ctx)))
  {
    uint32_t acc = 0;
    for (int i = 0; i < w * h; ++i) acc += p[i];
    volatile uint32_t sink = acc;
    (void)sink;
  }
  if (!(shape & 2)) DeleteObject(font);
  SWELL_DeleteGfxContext(ctx);
  std::free(text);
  return 0;
}
