#include "test_bitmap.h"
#include "prng.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace licetest
{
TestBitmap::TestBitmap(int w, int h, int span, bool flipped, Guard guard)
    : m_w(w), m_h(h), m_span(span), m_flipped(flipped)
{
  const size_t pixels = (size_t)span * (h > 0 ? h - 1 : 0) + (size_t)w;
  const size_t bytes = pixels * sizeof(LICE_pixel);
  if (guard == Guard::None)
  {
    m_bits = static_cast<LICE_pixel*>(std::calloc(pixels ? pixels : 1, sizeof(LICE_pixel)));
    if (!m_bits) throw std::bad_alloc();
    return;
  }
  const size_t page = (size_t)sysconf(_SC_PAGESIZE);
  const size_t dataPages = (bytes + page - 1) / page;
  m_mapBytes = (dataPages + 2) * page;
  m_map = mmap(nullptr, m_mapBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (m_map == MAP_FAILED) throw std::bad_alloc();
  char* base = static_cast<char*>(m_map);
  // one guard page at each end; the data sits against the one asked for
  mprotect(base, page, PROT_NONE);
  mprotect(base + (dataPages + 1) * page, page, PROT_NONE);
  if (guard == Guard::Before)
    m_bits = reinterpret_cast<LICE_pixel*>(base + page);
  else
    m_bits = reinterpret_cast<LICE_pixel*>(base + (dataPages + 1) * page - bytes);
}

TestBitmap::~TestBitmap()
{
  if (m_map)
    munmap(m_map, m_mapBytes);
  else
    std::free(m_bits);
}

void TestBitmap::fillRandom(Rng& rng)
{
  const size_t pixels = (size_t)m_span * (m_h - 1) + (size_t)m_w;
  for (size_t i = 0; i < pixels; ++i) m_bits[i] = rng.biasedPixel();
}

void TestBitmap::copyFrom(TestBitmap& o)
{
  const size_t pixels = (size_t)m_span * (m_h - 1) + (size_t)m_w;
  std::memcpy(m_bits, o.m_bits, pixels * sizeof(LICE_pixel));
}

namespace
{
LICE_pixel Get(LICE_IBitmap* bm, int x, int y)
{
  const int row = bm->isFlipped() ? bm->getHeight() - 1 - y : y;
  return bm->getBits()[(size_t)row * bm->getRowSpan() + x];
}
} // namespace

void CopyPicture(LICE_IBitmap* dst, LICE_IBitmap* src)
{
  dst->resize(src->getWidth(), src->getHeight());
  for (int y = 0; y < src->getHeight(); ++y)
    for (int x = 0; x < src->getWidth(); ++x)
    {
      const int row = dst->isFlipped() ? dst->getHeight() - 1 - y : y;
      dst->getBits()[(size_t)row * dst->getRowSpan() + x] = Get(src, x, y);
    }
}

bool SamePicture(LICE_IBitmap* a, LICE_IBitmap* b, std::string* what, const std::string& tag)
{
  if (a->getWidth() != b->getWidth() || a->getHeight() != b->getHeight())
  {
    if (what) *what = "sizes differ";
    return false;
  }
  const int w = a->getWidth(), h = a->getHeight();
  int fx = -1, fy = -1;
  int count = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (Get(a, x, y) != Get(b, x, y))
      {
        if (fx < 0)
        {
          fx = x;
          fy = y;
        }
        ++count;
      }
  if (fx < 0) return true;
  if (what)
  {
    char buf[200];
    std::snprintf(buf, sizeof buf, "%d pixel(s) differ; first at (%d, %d): got 0x%08X, reference 0x%08X", count, fx,
                  fy, Get(a, fx, fy), Get(b, fx, fy));
    *what = buf;
  }
  if (!tag.empty())
  {
    mkdir("lice_failures", 0777);
    LICE_MemBitmap ca(w, h), cb(w, h), diff(w, h);
    CopyPicture(&ca, a);
    CopyPicture(&cb, b);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        diff.getBits()[(size_t)y * diff.getRowSpan() + x] =
            Get(a, x, y) == Get(b, x, y) ? 0xff000000u : (0xff000000u | (Get(a, x, y) ^ Get(b, x, y)) | 0x400000u);
    const std::string base = "lice_failures/" + tag;
    LICE_WritePNG((base + "_a.png").c_str(), &ca);
    LICE_WritePNG((base + "_b.png").c_str(), &cb);
    LICE_WritePNG((base + "_diff.png").c_str(), &diff);
    if (what) *what += "; images in " + base + "_{a,b,diff}.png";
  }
  return false;
}

uint64_t Checksum(LICE_IBitmap* bm)
{
  uint64_t hsh = 1469598103934665603ull;
  for (int y = 0; y < bm->getHeight(); ++y)
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      const LICE_pixel p = Get(bm, x, y);
      for (int k = 0; k < 4; ++k)
      {
        hsh ^= (p >> (8 * k)) & 0xff;
        hsh *= 1099511628211ull;
      }
    }
  return hsh;
}
} // namespace licetest
