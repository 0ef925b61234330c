// Test bitmaps: any row span, optionally flipped, optionally placed against a PROT_NONE
// guard page so that a write past the last pixel (or before the first) faults at once.
#ifndef TESTS_LICE_SUPPORT_TEST_BITMAP_H
#define TESTS_LICE_SUPPORT_TEST_BITMAP_H

#include "WDL/lice/lice.h"

#include <cstdint>
#include <string>

namespace licetest
{
class Rng;

enum class Guard
{
  None,
  After,  // the last pixel of the last stored row ends at a PROT_NONE page
  Before  // the first stored pixel starts right after a PROT_NONE page
};

class TestBitmap : public LICE_IBitmap
{
public:
  TestBitmap(int w, int h, int span, bool flipped, Guard guard = Guard::None);
  ~TestBitmap() override;
  TestBitmap(const TestBitmap&) = delete;
  TestBitmap& operator=(const TestBitmap&) = delete;

  LICE_pixel* getBits() override { return m_bits; }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_span; }
  bool isFlipped() override { return m_flipped; }
  bool resize(int, int) override { return false; }

  // logical coordinates (the flip applied)
  LICE_pixel& at(int x, int y) { return m_bits[(size_t)(m_flipped ? m_h - 1 - y : y) * m_span + x]; }
  void fillRandom(Rng& rng);
  void copyFrom(TestBitmap& o); // same size and span required; pads too

private:
  int m_w, m_h, m_span;
  bool m_flipped;
  LICE_pixel* m_bits = nullptr;
  void* m_map = nullptr;
  size_t m_mapBytes = 0;
};

// Pixel-wise equality over the logical picture; on a mismatch fills *what with the first
// differing pixel and, when tag is not empty, writes tag_a.png, tag_b.png and tag_diff.png
// into the folder lice_failures/.
bool SamePicture(LICE_IBitmap* a, LICE_IBitmap* b, std::string* what, const std::string& tag = "");
// FNV-1a over the logical picture (width pixels per row).
uint64_t Checksum(LICE_IBitmap* bm);
// Pixel-wise copy of the logical picture into a fresh LICE_MemBitmap.
void CopyPicture(LICE_IBitmap* dst, LICE_IBitmap* src);
} // namespace licetest

#endif
