// Font sizes, metrics and DrawText measuring, checked against values computed here straight
// from the font file with FreeType and HarfBuzz.
#include "swell_test_util.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <hb.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

using namespace swelltest;

namespace
{
// The reference: typographic values from hhea, advances shaped in font units.
class Reference
{
public:
  explicit Reference(const std::string& file)
  {
    FT_Init_FreeType(&m_lib);
    FT_New_Face(m_lib, file.c_str(), 0, &m_face);
    const TT_HoriHeader* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_HHEA));
    m_asc = hhea->Ascender;
    m_desc = -hhea->Descender;
    m_gap = hhea->Line_Gap;
    m_upem = m_face->units_per_EM;
    hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
    m_hbface = hb_face_create(blob, 0);
    hb_blob_destroy(blob);
    m_font = hb_font_create(m_hbface);
    hb_font_set_scale(m_font, m_upem, m_upem);
  }
  ~Reference()
  {
    hb_font_destroy(m_font);
    hb_face_destroy(m_hbface);
    FT_Done_Face(m_face);
    FT_Done_FreeType(m_lib);
  }
  bool ok() const { return m_face && m_upem > 0; }

  double TypographicWidth(const std::string& utf8, int px) const
  {
    hb_buffer_t* b = hb_buffer_create();
    hb_buffer_add_utf8(b, utf8.c_str(), (int)utf8.size(), 0, -1);
    hb_buffer_guess_segment_properties(b);
    hb_shape(m_font, b, nullptr, 0);
    unsigned n = 0;
    const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(b, &n);
    double units = 0;
    for (unsigned i = 0; i < n; ++i) units += pos[i].x_advance;
    hb_buffer_destroy(b);
    return units * px / m_upem;
  }
  int Width(const std::string& s, int px) const { return (int)std::floor(TypographicWidth(s, px) + 0.5); }
  double Ascent(int px) const { return m_asc * px / m_upem; }
  double Descent(int px) const { return m_desc * px / m_upem; }
  double Leading(int px) const { return m_gap * px / m_upem; }
  int LineHeight(int px) const { return (int)std::floor(Ascent(px) + Descent(px) + Leading(px) + 1.5); }

private:
  FT_Library m_lib = nullptr;
  FT_Face m_face = nullptr;
  hb_face_t* m_hbface = nullptr;
  hb_font_t* m_font = nullptr;
  double m_asc = 0, m_desc = 0, m_gap = 0;
  int m_upem = 0;
};

RECT CalcRect(HDC c, const char* text, int len, int flags)
{
  RECT r = {10, 20, 10, 20};
  SWELL_DrawText(c, text, len, &r, flags | DT_CALCRECT);
  return r;
}
}

TEST(SwellMeasure, SingleAndMultiLineFollowTheRoundingRules)
{
  const struct
  {
    const char* family;
    bool bold;
  } faces[] = {{"DejaVu Sans", false}, {"DejaVu Sans", true}, {"DejaVu Sans Mono", false}, {"DejaVu Serif", false}};
  const int sizes[] = {8, 10, 11, 12, 13, 16, 24, 37, 72};
  const char* lines[] = {"12.5 dB", "HIGH", "Output", "AV To Wa", "fi ffl", "x",
                         "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1", "\xC3\x85\xC3\x84\xC3\x96 \xC3\xB1"};
  Ctx c = MakeCtx(8, 8);
  for (const auto& f : faces)
  {
    Reference ref(FontFile(f.family, f.bold));
    ASSERT_TRUE(ref.ok()) << f.family;
    for (int px : sizes)
    {
      Obj font = MakeFont(px, f.family, f.bold ? FW_BOLD : FW_NORMAL);
      SelectObject(c.get(), font.get());
      const int lh = ref.LineHeight(px);
      for (const char* s : lines)
      {
        RECT r = CalcRect(c.get(), s, -1, DT_NOPREFIX);
        EXPECT_EQ(r.right - 10, ref.Width(s, px)) << f.family << " " << px << " '" << s << "'";
        EXPECT_EQ(r.bottom - 20, lh + 1) << f.family << " " << px << " '" << s << "'";
      }
      // multi-line: the widest line and one line height per line, an empty line included
      std::string multi = std::string(lines[0]) + "\n" + lines[2] + "\n\n" + lines[3];
      int widest = 0;
      for (const char* s : {lines[0], lines[2], lines[3]}) widest = std::max(widest, ref.Width(s, px));
      RECT r = CalcRect(c.get(), multi.c_str(), -1, DT_NOPREFIX);
      EXPECT_EQ(r.right - 10, widest) << f.family << " " << px;
      EXPECT_EQ(r.bottom - 20, 4 * lh + 1) << f.family << " " << px;
      EXPECT_EQ(SWELL_DrawText(c.get(), multi.c_str(), -1, &r, DT_CALCRECT | DT_NOPREFIX), 4 * lh + 1);
      SelectObject(c.get(), reinterpret_cast<HGDIOBJ>(3));
    }
  }
}

TEST(SwellMeasure, MetricsTruncateTheTypographicValues)
{
  Reference ref(FontFile("DejaVu Sans"));
  Ctx c = MakeCtx(4, 4);
  for (int px : {2, 7, 10, 12, 13, 20, 33, 100, 8192})
  {
    Obj font = MakeFont(px);
    SelectObject(c.get(), font.get());
    TEXTMETRIC tm;
    ASSERT_EQ(GetTextMetrics(c.get(), &tm), 1);
    const int a = (int)ref.Ascent(px), d = (int)ref.Descent(px), l = (int)ref.Leading(px);
    EXPECT_EQ(tm.tmAscent, a) << px;
    EXPECT_EQ(tm.tmDescent, d) << px;
    EXPECT_EQ(tm.tmInternalLeading, l) << px;
    EXPECT_EQ(tm.tmAveCharWidth, (2 * (a + d + l)) / 3) << px;
    EXPECT_EQ(tm.tmHeight, a + d + l + 1) << px;
    SelectObject(c.get(), reinterpret_cast<HGDIOBJ>(3));
  }
  // no font selected: the default font, DejaVu Sans (the default sans here) at 10 pixels
  TEXTMETRIC tm;
  ASSERT_EQ(GetTextMetrics(c.get(), &tm), 1);
  EXPECT_EQ(tm.tmAscent, (int)ref.Ascent(10));
  EXPECT_EQ(tm.tmDescent, (int)ref.Descent(10));
}

TEST(SwellMeasure, CreateFontSizeRules)
{
  struct Case
  {
    int height, width, expectPx;
  };
  const Case cases[] = {{-12, 0, 12}, {12, 0, 12}, {1, 0, 10},    {-1, 0, 10},       {0, 14, 14},   {0, -14, 14},
                        {0, 0, 10},   {2, 0, 2},   {8192, 0, 8192}, {8193, 0, 10},   {-8193, 0, 10}, {INT_MIN, 0, 10},
                        {0, INT_MIN, 10}, {INT_MAX, 0, 10}, {16, 99, 16}};
  Ctx c = MakeCtx(4, 4);
  auto metrics = [&](HGDIOBJ f) {
    SelectObject(c.get(), f);
    TEXTMETRIC tm;
    GetTextMetrics(c.get(), &tm);
    RECT r = CalcRect(c.get(), "Wide text", -1, 0);
    SelectObject(c.get(), reinterpret_cast<HGDIOBJ>(3));
    return std::vector<int>{tm.tmHeight, tm.tmAscent, tm.tmDescent, r.right, r.bottom};
  };
  for (const Case& k : cases)
  {
    Obj got(CreateFont(k.height, k.width, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, "DejaVu Sans"));
    Obj want = MakeFont(k.expectPx);
    ASSERT_TRUE(got && want);
    EXPECT_EQ(metrics(got.get()), metrics(want.get())) << k.height << " x " << k.width;
  }
}

TEST(SwellMeasure, WorkingCopyRules)
{
  struct Case
  {
    const char* text;
    int len;
    int flags;
    const char* same;   // measured like this text with DT_NOPREFIX | DT_SINGLELINE ...
    int lines;          // ... over this many lines (0: empty, returns 0)
  };
  const Case cases[] = {
      {"a&b", -1, 0, "ab", 1},
      {"a&b", -1, DT_NOPREFIX, "a&b", 1},
      {"&&", -1, 0, "&", 1},
      {"&&&", -1, 0, "&", 1},
      {"a&", -1, 0, "a", 1},
      {"&", -1, 0, "", 0},
      {"\r\rab\r", -1, 0, "ab", 1},
      {"\r", -1, 0, "", 0},
      {"", -1, 0, "", 0},
      {"a\nb", -1, DT_SINGLELINE, "a b", 1},
      {"abcdef", 3, 0, "abc", 1},
      {"abcdef", 0, 0, "", 0},
      {"ab\0cd", 5, 0, "ab", 1},
      {"Wide\nx", -1, 0, "Wide", 2},
      {"x\r\nWide\n", -1, 0, "Wide", 2},
      {"\n", -1, 0, "", 1},
      {"a\n\n\nb", -1, 0, "a", 4},
      {"&\nx", -1, 0, "x", 2},  // the ampersand keeps the line feed as a character: still a new line
      {"a\x01\tb\x7f\xc2\x85", -1, 0, "ab", 1}, // control characters have no glyph and no width
      {"\t", -1, 0, "", 1},
  };
  Ctx c = MakeCtx(4, 4);
  Obj font = MakeFont(13);
  SelectObject(c.get(), font.get());
  RECT one = CalcRect(c.get(), "x", -1, 0);
  const int lh = one.bottom - 20 - 1;
  for (const Case& k : cases)
  {
    RECT r = {10, 20, 10, 20};
    const int h = SWELL_DrawText(c.get(), k.text, k.len, &r, k.flags | DT_CALCRECT);
    if (!k.lines)
    {
      EXPECT_EQ(h, 0) << '\'' << k.text << '\'';
      EXPECT_EQ(r.right, 10);
      EXPECT_EQ(r.bottom, 20);
      continue;
    }
    RECT want = CalcRect(c.get(), k.same, -1, DT_NOPREFIX | DT_SINGLELINE);
    EXPECT_EQ(r.right, *k.same ? want.right : 10) << '\'' << k.text << '\'';
    EXPECT_EQ(h, k.lines * lh + 1) << '\'' << k.text << '\'';
    EXPECT_EQ(r.bottom, 20 + h);
  }
}

TEST(SwellMeasure, WidthDoesNotDependOnPosition)
{
  Ctx c = MakeCtx(4, 4);
  Obj font = MakeFont(11);
  SelectObject(c.get(), font.get());
  Prng rng(7);
  for (int i = 0; i < 200; ++i)
  {
    char s[16];
    const int n = rng.range(1, 15);
    for (int k = 0; k < n; ++k) s[k] = (char)rng.range(32, 126);
    s[n] = 0;
    RECT a = {0, 0, 0, 0}, b = {rng.range(-100000, 100000), rng.range(-100000, 100000), 0, 0};
    b.right = b.left;
    const int ha = SWELL_DrawText(c.get(), s, -1, &a, DT_CALCRECT | DT_NOPREFIX);
    const int hb = SWELL_DrawText(c.get(), s, -1, &b, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(ha, hb);
    EXPECT_EQ(a.right - a.left, b.right - b.left) << s;
  }
}
