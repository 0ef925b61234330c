// Bad input to the text calls: malformed UTF-8, long strings, extreme sizes, names and
// coordinates, null and released handles. Each is refused or handled, never out of bounds.
#include "swell_test_util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

using namespace swelltest;

namespace
{
int Width(HDC c, const std::string& s, int flags = DT_NOPREFIX)
{
  RECT r = {0, 0, 0, 0};
  SWELL_DrawText(c, s.c_str(), (int)s.size(), &r, flags | DT_CALCRECT);
  return r.right;
}
const char kFFFD[] = "\xEF\xBF\xBD";
}

TEST(SwellBadInput, MalformedUtf8MeasuresAsReplacementCharacters)
{
  struct Case
  {
    const char* bytes;
    std::string same;
  };
  const std::string R = kFFFD;
  const Case cases[] = {
      {"a\xFF" "b", "a" + R + "b"},
      {"a\x80\x80" "b", "a" + R + R + "b"},        // stray continuation bytes, one each
      {"\xC0\xAF", R + R},                          // overlong form
      {"\xE0\x80\xAF", R + R + R},                  // overlong three-byte form
      {"\xED\xA0\x80", R + R + R},                  // surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},          // above U+10FFFF
      {"\xE2\x82" "x", R + "x"},                    // cut short: one maximal subpart
      {"\xF0\x9F\x98", R},                          // cut at the end
      {"\xC3\xA9\xC3", "\xC3\xA9" + R},
      {"ok\xF5" "ok", "ok" + R + "ok"},
  };
  Ctx c = MakeCtx(300, 40);
  Obj font = MakeFont(13);
  SelectObject(c.get(), font.get());
  SetTextColor(c.get(), RGB(255, 255, 255));
  for (const Case& k : cases)
  {
    EXPECT_EQ(Width(c.get(), k.bytes), Width(c.get(), k.same)) << k.same;
    RECT r = {0, 0, 300, 40};
    EXPECT_GT(SWELL_DrawText(c.get(), k.bytes, -1, &r, 0), 0);
  }
}

TEST(SwellBadInput, LongStringsAreCutAtTheWorkingCopyLimit)
{
  Ctx c = MakeCtx(200, 50);
  Obj font = MakeFont(10);
  SelectObject(c.get(), font.get());
  SetTextColor(c.get(), RGB(255, 255, 255));
  const std::string ascii(65536, 'x');
  EXPECT_EQ(Width(c.get(), ascii), Width(c.get(), ascii.substr(0, 4095)));
  RECT r = {0, 0, 0, 0};
  SWELL_DrawText(c.get(), ascii.c_str(), -1, &r, DT_CALCRECT);
  EXPECT_EQ(r.right, Width(c.get(), ascii.substr(0, 4095)));

  // a two-byte character cut by the limit is left out, not shown as a replacement
  std::string accents;
  while (accents.size() < 65536) accents += "\xC3\xA9";
  EXPECT_EQ(Width(c.get(), accents), Width(c.get(), accents.substr(0, 4094)));
  // a text that is only line feeds: 4095 lines
  const std::string feeds(70000, '\n');
  RECT f = {0, 0, 0, 0};
  const int lh = SWELL_DrawText(c.get(), "x", -1, &f, DT_CALCRECT) - 1;
  EXPECT_EQ(SWELL_DrawText(c.get(), feeds.c_str(), -1, &f, DT_CALCRECT), 4095 * lh + 1);

  RECT all = {0, 0, 200, 50};
  for (const std::string* s : std::initializer_list<const std::string*>{&ascii, &accents, &feeds}) EXPECT_GT(SWELL_DrawText(c.get(), s->c_str(), -1, &all, 0), 0);
  EXPECT_GT(InkCount(c.get(), 200, 50), 0);
}

TEST(SwellBadInput, ExtremeSizesNamesAndCoordinates)
{
  // huge glyphs draw only what falls inside the context
  Obj huge = MakeFont(8192);
  Ctx c = DrawWhite(huge.get(), "W", 64, 64, -3000, -2000);
  Ctx d = DrawWhite(huge.get(), "I", 64, 64, -1000, -7000);  // the stem of the I covers the context
  EXPECT_GT(InkCount(d.get(), 64, 64), 0);

  // a 1000-character face name: the first 899 characters are the name
  const std::string longName(1000, 'Q');
  Obj a(CreateFont(12, 0, 0, 0, FW_BOLD, 1, 0, 0, 0, 0, 0, 0, 0, longName.c_str()));
  ASSERT_TRUE(a);
  Ctx e = DrawWhite(a.get(), "long name", 100, 30, 1, 1);
  EXPECT_GT(InkCount(e.get(), 100, 30), 0);

  // a face name field without a terminator
  LOGFONT lf;
  std::memset(&lf, 0, sizeof(lf));
  lf.lfHeight = -12;
  std::memset(lf.lfFaceName, 'D', sizeof(lf.lfFaceName));
  Obj b(CreateFontIndirect(&lf));
  ASSERT_TRUE(b);
  Obj plain = MakeFont(12);
  Ctx m = MakeCtx(4, 4);
  SelectObject(m.get(), b.get());
  const int wb = Width(m.get(), "Measured");
  SelectObject(m.get(), plain.get());
  EXPECT_EQ(wb, Width(m.get(), "Measured"));
  EXPECT_EQ(CreateFontIndirect(nullptr), nullptr);

  // rectangles at the ends of the int range
  const RECT rects[] = {{INT_MAX - 5, INT_MAX - 5, INT_MAX, INT_MAX},
                        {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                        {INT_MIN, INT_MIN, INT_MIN + 3, INT_MIN + 3},
                        {INT_MAX, 0, INT_MIN, 10}};
  for (const RECT& rc : rects)
    for (int flags : {0, DT_CALCRECT, DT_NOCLIP, DT_CENTER | DT_VCENTER, DT_RIGHT | DT_BOTTOM | DT_NOCLIP})
    {
      RECT r = rc;
      EXPECT_GT(SWELL_DrawText(m.get(), "Edge\ncase", -1, &r, flags), 0);
      if (flags & DT_CALCRECT)
      {
        EXPECT_GE(r.right, r.left);
      }
    }
}

TEST(SwellBadInput, NullAndReleasedHandles)
{
  Ctx c = MakeCtx(50, 20);
  RECT r = {0, 0, 50, 20};
  EXPECT_EQ(SWELL_DrawText(c.get(), nullptr, -1, &r, 0), 0);
  EXPECT_EQ(SWELL_DrawText(c.get(), "x", -1, nullptr, 0), 0);
  EXPECT_EQ(SWELL_DrawText(nullptr, "x", -1, &r, 0), 0);

  // a released font in the slot: the default font draws
  const int plain = Width(c.get(), "Default");
  HGDIOBJ f = CreateFont(30, 0, 0, 0, 400, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Serif");
  SelectObject(c.get(), f);
  EXPECT_NE(Width(c.get(), "Default"), plain);
  DeleteObject(f);
  EXPECT_EQ(Width(c.get(), "Default"), plain);
  TEXTMETRIC a, b;
  GetTextMetrics(c.get(), &a);
  SelectObject(c.get(), reinterpret_cast<HGDIOBJ>(3));
  GetTextMetrics(c.get(), &b);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof(a)), 0);
  DeleteObject(f);  // again: ignored

  unsigned short idx[3] = {7, 7, 7};
  const unsigned short chars[3] = {'a', 'b', 'c'};
  EXPECT_EQ(GetGlyphIndicesW(c.get(), nullptr, 3, idx, 0), 0);
  EXPECT_EQ(idx[2], 0);
  EXPECT_EQ(GetGlyphIndicesW(c.get(), chars, 3, nullptr, 0), 0);
  EXPECT_EQ(GetGlyphIndicesW(c.get(), chars, -1, idx, 0), 0);
}
