// Drawing: ink inside the measured box, placement, clipping, the compositing rule, plain
// and opaque modes, fallback faces for characters a face lacks, styles and the glyph cache.
#include "swell_test_util.h"
#include "WDL/swell/swell_gdi_p.h"
#include "WDL/swell/swell_text_backend_p.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace swelltest;

namespace
{
std::vector<uint32_t> Snapshot(HDC c, int w, int h)
{
  const uint32_t* p = Pixels(c);
  return std::vector<uint32_t>(p, p + (size_t)w * h);
}

// A code point's UTF-8 form.
std::string Utf8(uint32_t cp)
{
  std::string s;
  if (cp < 0x80) s += (char)cp;
  else if (cp < 0x800) s += (char)(0xC0 | cp >> 6), s += (char)(0x80 | (cp & 63));
  else if (cp < 0x10000)
    s += (char)(0xE0 | cp >> 12), s += (char)(0x80 | ((cp >> 6) & 63)), s += (char)(0x80 | (cp & 63));
  else
    s += (char)(0xF0 | cp >> 18), s += (char)(0x80 | ((cp >> 12) & 63)), s += (char)(0x80 | ((cp >> 6) & 63)),
        s += (char)(0x80 | (cp & 63));
  return s;
}
}

TEST(SwellDraw, InkStaysInsideTheMeasuredBox)
{
  const int W = 400, H = 200, X = 40, Y = 30;
  struct Case
  {
    const char* text;
    // the font's own overhang: ink left of the start, right of the advance, above the ascent
    int left, right, top;
  };
  const Case cases[] = {
      {"12.5 dB", 0, 0, 0}, {"HIGH", 0, 0, 0},       {"Output", 0, 0, 0},      {"-18.0", 0, 0, 0},
      {"Gain", 0, 0, 0},    {"LOW MID", 0, 0, 0},    {"Freq 1.2", 0, 0, 0},    {"q|jg", 0, 1, 0},
      {"(|)", 0, 0, 0},     {"@#$%", 0, 0, 0},       {"\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1", 0, 0, 0},
      // serif feet reach left of the origin and right of the advance; accented capitals rise
      // above the typographic ascent
      {"AV To", 1, 0, 0},   {"Wavy", 1, 1, 0},       {"1.2k", 0, 1, 0},        {"\xC3\x85\xC3\x84\xC3\x96", 1, 0, 2},
  };
  for (const char* family : {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"})
    for (int px : {9, 10, 11, 12, 13, 17, 24, 40})
      for (bool bold : {false, true})
      {
        Obj font = MakeFont(px, family, bold ? FW_BOLD : FW_NORMAL);
        for (const Case& k : cases)
        {
          Ctx c = DrawWhite(font.get(), k.text, W, H, X, Y);
          RECT m = {X, Y, X, Y};
          SWELL_DrawText(c.get(), k.text, -1, &m, DT_CALCRECT);
          const RECT ink = InkBox(c.get(), W, H);
          ASSERT_GT(ink.right, ink.left) << family << " " << px << " '" << k.text << "'";
          EXPECT_GE(ink.left, m.left - k.left) << family << " " << px << " '" << k.text << "'";
          EXPECT_GE(ink.top, m.top - k.top) << family << " " << px << " '" << k.text << "'";
          EXPECT_LE(ink.right, m.right + k.right) << family << " " << px << " '" << k.text << "'";
          EXPECT_LE(ink.bottom, m.bottom) << family << " " << px << " '" << k.text << "'";
        }
      }
}

TEST(SwellDraw, PlacementFlagsMoveTheBoxByIntegerDivisions)
{
  const int W = 160, H = 120;
  Obj font = MakeFont(12);
  const int flagSets[] = {0,
                          DT_RIGHT,
                          DT_CENTER,
                          DT_BOTTOM,
                          DT_VCENTER,
                          DT_CENTER | DT_VCENTER,
                          DT_RIGHT | DT_BOTTOM,
                          DT_RIGHT | DT_CENTER,
                          DT_BOTTOM | DT_VCENTER,
                          DT_CENTER | DT_BOTTOM | DT_SINGLELINE};
  const RECT rects[] = {{10, 10, 150, 110}, {11, 7, 140, 102}, {30, 40, 31, 41}, {50, 50, 50, 50}, {-20, -5, 90, 60}};
  const char* texts[] = {"Output", "12.5 dB", "two\nlines", "x"};
  for (int flags : flagSets)
    for (const RECT& rc : rects)
      for (const char* text : texts)
      {
        Ctx c = MakeCtx(W, H);
        SelectObject(c.get(), font.get());
        RECT m = rc;
        const int h = SWELL_DrawText(c.get(), text, -1, &m, DT_CALCRECT | (flags & DT_SINGLELINE));
        const int w = m.right - m.left;
        int x = rc.left, y = rc.top;
        if (flags & DT_RIGHT) x = rc.right - w;
        else if (flags & DT_CENTER) x = rc.left + (rc.right - rc.left) / 2 - w / 2;
        if (flags & DT_BOTTOM) y = rc.bottom - h;
        else if (flags & DT_VCENTER) y = rc.top + (rc.bottom - rc.top) / 2 - h / 2;

        SetTextColor(c.get(), RGB(255, 255, 255));
        RECT r = rc;
        EXPECT_EQ(SWELL_DrawText(c.get(), text, -1, &r, flags | DT_NOCLIP), h);
        Ctx ref = DrawWhite(font.get(), text, W, H, x, y, flags & DT_SINGLELINE);
        EXPECT_EQ(Snapshot(c.get(), W, H), Snapshot(ref.get(), W, H))
            << "flags " << flags << " rect " << rc.left << "," << rc.top << "," << rc.right << "," << rc.bottom
            << " '" << text << "'";
      }
}

TEST(SwellDraw, ClipsToTheRectUnlessNoClipAndAlwaysToTheContext)
{
  const int W = 120, H = 60;
  Obj font = MakeFont(24);
  const char* text = "Clipped text";
  struct Case
  {
    int flags;
    RECT rect;
    bool ctxClip;
    RECT bound;  // no ink outside this
    bool inkOutsideRect;
  };
  const Case cases[] = {
      {0, {10, 10, 50, 30}, false, {10, 10, 50, 30}, false},
      {DT_NOCLIP, {10, 10, 50, 30}, false, {0, 0, W, H}, true},
      {DT_NOCLIP, {10, 10, 50, 30}, true, {20, 0, 70, H}, true},
      {0, {10, 10, 50, 30}, true, {20, 10, 50, 30}, false},
      {0, {10, 10, 5, 30}, false, {0, 0, 0, 0}, false},  // empty rect
  };
  for (const Case& k : cases)
  {
    Ctx c = MakeCtx(W, H);
    SelectObject(c.get(), font.get());
    SetTextColor(c.get(), RGB(255, 255, 255));
    if (k.ctxClip)
    {
      RECT cl = {20, 0, 70, H};
      SWELL_PushClipRegion(c.get());
      SWELL_SetClipRegion(c.get(), &cl);
    }
    RECT r = k.rect;
    SWELL_DrawText(c.get(), text, -1, &r, k.flags);
    const RECT ink = InkBox(c.get(), W, H);
    if (k.bound.right == 0)
    {
      EXPECT_EQ(ink.right, 0);
      continue;
    }
    ASSERT_GT(ink.right, 0) << k.flags;
    EXPECT_GE(ink.left, k.bound.left);
    EXPECT_GE(ink.top, k.bound.top);
    EXPECT_LE(ink.right, k.bound.right);
    EXPECT_LE(ink.bottom, k.bound.bottom);
    EXPECT_EQ(ink.right > k.rect.right || ink.bottom > k.rect.bottom, k.inkOutsideRect) << k.flags;
  }
}

TEST(SwellDraw, CompositingFollowsTheCoverageRule)
{
  const int W = 90, H = 30;
  Prng rng(0x5eed);
  for (int px : {9, 13, 20})
  {
    Obj font = MakeFont(px);
    // coverage: white on black gives it in every colour byte, and the fourth byte follows it
    // one glyph at a time: where two glyphs' edges share a pixel it is composited twice
    for (const char* glyph : {"A", "g", "5", "%", "\xCE\xA9"})
    {
    Ctx cov = DrawWhite(font.get(), glyph, W, H, 2, 2);
    const uint32_t* a = Pixels(cov.get());
    int partial = 0;
    for (int i = 0; i < W * H; ++i)
    {
      const uint32_t p = a[i];
      ASSERT_EQ((p >> 16) & 255, p & 255);
      ASSERT_EQ((p >> 8) & 255, p & 255);
      ASSERT_EQ(p >> 24, p & 255);
      partial += (p & 255) > 0 && (p & 255) < 255;
    }
    EXPECT_GT(partial, 0) << "grayscale anti-aliasing";

    for (int trial = 0; trial < 8; ++trial)
    {
      const COLORREF bg = (COLORREF)(rng.next() & 0xffffff), fg = (COLORREF)(rng.next() & 0xffffff);
      Ctx c = MakeCtx(W, H);
      Obj brush(CreateSolidBrush(bg));
      RECT all = {0, 0, W, H};
      SWELL_FillRect(c.get(), &all, brush.get());
      SelectObject(c.get(), font.get());
      SetTextColor(c.get(), fg);
      RECT r = {2, 2, W, H};
      SWELL_DrawText(c.get(), glyph, -1, &r, DT_NOCLIP);
      const uint32_t* d = Pixels(c.get());
      for (int i = 0; i < W * H; ++i)
      {
        const int cv = (int)(a[i] & 255);
        uint32_t want = 0xff000000u;
        for (int sh = 0; sh < 24; sh += 8)
        {
          const int b = (int)((bg >> sh) & 255), f = (int)((fg >> sh) & 255);
          want |= (uint32_t)(b + ((f - b) * cv) / 255) << sh;
        }
        ASSERT_EQ(d[i], want) << "pixel " << i << " coverage " << cv;
      }
    }
    }
  }
}

TEST(SwellDraw, QualityPicksPlainOrAntiAliasedGlyphs)
{
  const int W = 100, H = 30;
  struct Case
  {
    int quality;
    bool plain;
  };
  for (const Case& k : {Case{DEFAULT_QUALITY, false}, Case{NONANTIALIASED_QUALITY, true},
                        Case{ANTIALIASED_QUALITY, false}, Case{5, false}})
  {
    Obj font = MakeFont(14, "DejaVu Sans", FW_NORMAL, false, k.quality);
    Ctx c = DrawWhite(font.get(), "Round sodium", W, H, 1, 1);
    int partial = 0;
    for (int i = 0; i < W * H; ++i)
    {
      const int v = (int)(Pixels(c.get())[i] & 255);
      partial += v > 0 && v < 255;
    }
    EXPECT_EQ(partial == 0, k.plain) << "quality " << k.quality;
    EXPECT_GT(InkCount(c.get(), W, H), 50);
  }
}

TEST(SwellDraw, OpaqueModeFillsEachLineBox)
{
  const int W = 120, H = 80;
  Obj font = MakeFont(12);
  for (const char* text : {"Output", "ab\nlonger line\nc"})
  {
    Ctx c = MakeCtx(W, H);
    SelectObject(c.get(), font.get());
    SetBkMode(c.get(), OPAQUE);
    SetBkColor(c.get(), RGB(0, 0, 200));
    SetTextColor(c.get(), RGB(255, 255, 0));
    RECT r = {5, 6, 110, 75};
    SWELL_DrawText(c.get(), text, -1, &r, 0);
    TEXTMETRIC tm;
    GetTextMetrics(c.get(), &tm);
    // every line's box, and nothing else, is painted
    RECT m = {0, 0, 0, 0};
    const int h1 = SWELL_DrawText(c.get(), "x", -1, &m, DT_CALCRECT) - 1;
    std::vector<std::string> lines;
    std::string s = text;
    for (size_t p; (p = s.find('\n')) != std::string::npos; s = s.substr(p + 1)) lines.push_back(s.substr(0, p));
    lines.push_back(s);
    std::vector<uint32_t> want((size_t)W * H, 0);
    int y = 6;
    for (const std::string& line : lines)
    {
      RECT lm = {0, 0, 0, 0};
      SWELL_DrawText(c.get(), line.c_str(), -1, &lm, DT_CALCRECT);
      for (int yy = y; yy < y + h1; ++yy)
        for (int xx = 5; xx < 5 + lm.right; ++xx) want[(size_t)yy * W + xx] = 1;
      y += h1 - 1;  // floor(a + d + l + 0.5) = floor(a + d + l + 1.5) - 1
    }
    for (int i = 0; i < W * H; ++i)
      ASSERT_EQ((Pixels(c.get())[i] & 0xffffff) != 0, want[(size_t)i] != 0) << text << " pixel " << i % W << "," << i / W;
  }
}

TEST(SwellDraw, NonLatinTextShowsRealGlyphs)
{
  const int W = 40, H = 40;
  for (const char* family : {"DejaVu Sans", "DejaVu Serif", "DejaVu Sans Mono"})
  {
    Obj font = MakeFont(20, family);
    // a private-use character no installed font has: the .notdef box
    Ctx notdef = DrawWhite(font.get(), "\xF4\x8F\xBF\xBD", W, H, 4, 4);
    ASSERT_GT(InkCount(notdef.get(), W, H), 0);
    const std::string sample = "\xCE\xA9\xCE\xBC\xCE\xAD\xCE\xB3\xCE\xB1\xC3\x85\xC3\x84\xC3\x96\xC3\xB1";
    for (size_t i = 0; i < sample.size(); i += 2)
    {
      const std::string ch = sample.substr(i, 2);
      Ctx c = DrawWhite(font.get(), ch.c_str(), W, H, 4, 4);
      EXPECT_GT(InkCount(c.get(), W, H), 0) << family << " char at " << i;
      EXPECT_NE(Snapshot(c.get(), W, H), Snapshot(notdef.get(), W, H)) << family << " char at " << i;
    }
  }
}

TEST(SwellDraw, MissingCharactersComeFromAFallbackFace)
{
  // characters DejaVu Sans has and DejaVu Sans Mono lacks, found from the files themselves
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face sans = nullptr, mono = nullptr;
  ASSERT_EQ(FT_New_Face(lib, FontFile("DejaVu Sans").c_str(), 0, &sans), 0);
  ASSERT_EQ(FT_New_Face(lib, FontFile("DejaVu Sans Mono").c_str(), 0, &mono), 0);
  std::vector<uint32_t> picks;
  for (uint32_t cp = 0x100; cp < 0x3000 && picks.size() < 6; ++cp)
    if (FT_Get_Char_Index(sans, cp) && !FT_Get_Char_Index(mono, cp) && (cp < 0x300 || cp > 0x36F) &&
        (cp < 0x590 || cp > 0x8FF))
      picks.push_back(cp), cp += 97;
  FT_Done_Face(sans);
  FT_Done_Face(mono);
  FT_Done_FreeType(lib);
  ASSERT_FALSE(picks.empty());

  const int W = 48, H = 40;
  Obj monoFont = MakeFont(20, "DejaVu Sans Mono");
  Obj sansFont = MakeFont(20, "DejaVu Sans");
  Ctx notdef = DrawWhite(monoFont.get(), "\xF4\x8F\xBF\xBD", W, H, 4, 4);
  for (uint32_t cp : picks)
  {
    const std::string s = Utf8(cp);
    Ctx viaMono = DrawWhite(monoFont.get(), s.c_str(), W, H, 4, 4);
    Ctx viaSans = DrawWhite(sansFont.get(), s.c_str(), W, H, 4, 4);
    EXPECT_NE(Snapshot(viaMono.get(), W, H), Snapshot(notdef.get(), W, H)) << std::hex << cp;
    EXPECT_EQ(Snapshot(viaMono.get(), W, H), Snapshot(viaSans.get(), W, H)) << std::hex << cp;
  }
  // the line metrics stay those of the selected face
  Ctx c = MakeCtx(4, 4);
  SelectObject(c.get(), monoFont.get());
  RECT a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
  const std::string mixed = "ab" + Utf8(picks[0]);
  EXPECT_EQ(SWELL_DrawText(c.get(), "ab", -1, &a, DT_CALCRECT), SWELL_DrawText(c.get(), mixed.c_str(), -1, &b, DT_CALCRECT));
}

TEST(SwellDraw, StylesResolveToStyledFaces)
{
  struct Case
  {
    const char* face;
    int weight;
    bool italic;
    const char* fileEnds;  // the file fontconfig picks (the test set has no oblique files)
    bool slanted, emboldened;
  };
  const Case cases[] = {
      {"DejaVu Sans", FW_NORMAL, false, "DejaVuSans.ttf", false, false},
      {"DejaVu Sans", FW_BOLD, false, "DejaVuSans-Bold.ttf", false, false},
      {"DejaVu Sans", 900, false, "DejaVuSans-Bold.ttf", false, false},
      {"DejaVu Sans", 699, false, "DejaVuSans.ttf", false, false},
      {"DejaVu Sans", FW_NORMAL, true, "DejaVuSans.ttf", true, false},
      {"DejaVu Sans", FW_BOLD, true, "DejaVuSans-Bold.ttf", true, false},
      {"DejaVu Sans Bold", FW_NORMAL, false, "DejaVuSans-Bold.ttf", false, false},
      {"DejaVu Serif", FW_NORMAL, true, "DejaVuSerif.ttf", true, false},
      {"DejaVu Serif", FW_BOLD, false, "DejaVuSerif.ttf", false, true},
      {"DejaVu Serif", FW_BOLD, true, "DejaVuSerif.ttf", true, true},
      {"DejaVu Sans Mono", FW_BOLD, false, "DejaVuSansMono-Bold.ttf", false, false},
      {"No Such Face 123", FW_NORMAL, false, "DejaVuSans.ttf", false, false},
      {"", FW_NORMAL, false, "DejaVuSans.ttf", false, false},
      {nullptr, FW_NORMAL, false, "DejaVuSans.ttf", false, false},
  };
  for (const Case& k : cases)
  {
    Obj f(CreateFont(12, 0, 0, 0, k.weight, k.italic, 0, 0, 0, 0, 0, 0, 0, k.face));
    ASSERT_TRUE(f);
    swell_detail::FaceInfo info;
    ASSERT_TRUE(swell_detail::GetFaceInfo(f->face, &info));
    const std::string file = info.file;
    const std::string ends = k.fileEnds;
    EXPECT_TRUE(file.size() >= ends.size() && file.compare(file.size() - ends.size(), ends.size(), ends) == 0)
        << (k.face ? k.face : "(null)") << " " << k.weight << " " << k.italic << " -> " << file;
    EXPECT_EQ(info.slanted, k.slanted) << (k.face ? k.face : "(null)");
    EXPECT_EQ(info.embolden, k.emboldened) << (k.face ? k.face : "(null)");
  }

  // emboldened glyphs carry more ink and advance further
  Obj serif = MakeFont(20, "DejaVu Serif");
  Obj serifBold = MakeFont(20, "DejaVu Serif", FW_BOLD);
  Ctx a = DrawWhite(serif.get(), "Bold", 100, 40, 2, 2);
  Ctx b = DrawWhite(serifBold.get(), "Bold", 100, 40, 2, 2);
  EXPECT_GT(InkCount(b.get(), 100, 40), InkCount(a.get(), 100, 40) * 11 / 10);
  RECT ra = {0, 0, 0, 0}, rb = {0, 0, 0, 0};
  SWELL_DrawText(a.get(), "Bold", -1, &ra, DT_CALCRECT);
  SWELL_DrawText(b.get(), "Bold", -1, &rb, DT_CALCRECT);
  EXPECT_GT(rb.right, ra.right);

  // slanted glyphs lean: the top of an 'l' sits right of its foot
  Obj upright = MakeFont(40);
  Obj italic = MakeFont(40, "DejaVu Sans", FW_NORMAL, true);
  for (HGDIOBJ f : {upright.get(), italic.get()})
  {
    Ctx c = DrawWhite(f, "l", 60, 60, 10, 5);
    const RECT ink = InkBox(c.get(), 60, 60);
    auto rowLeft = [&](int y) {
      for (int x = 0; x < 60; ++x)
        if (Pixels(c.get())[y * 60 + x] & 0x80) return x;
      return -1;
    };
    const int lean = rowLeft(ink.top + 2) - rowLeft(ink.bottom - 3);
    if (f == upright.get()) EXPECT_EQ(lean, 0);
    else EXPECT_GE(lean, 4);
  }
}

TEST(SwellDraw, FaceNameAndGlyphIndices)
{
  Ctx c = MakeCtx(4, 4);
  char name[64];
  EXPECT_EQ(GetTextFace(c.get(), sizeof(name), name), 0) << "no font selected";
  Obj font = MakeFont(12);
  SelectObject(c.get(), font.get());
  ASSERT_GT(GetTextFace(c.get(), sizeof(name), name), 0);
  EXPECT_STREQ(name, "DejaVu Sans");
  char small[5];
  EXPECT_EQ(GetTextFace(c.get(), sizeof(small), small), 4);
  EXPECT_STREQ(small, "Deja");
  EXPECT_EQ(GetTextFace(c.get(), 0, small), 0);

  FT_Library lib;
  FT_Init_FreeType(&lib);
  FT_Face face;
  ASSERT_EQ(FT_New_Face(lib, FontFile("DejaVu Sans").c_str(), 0, &face), 0);
  const unsigned short chars[] = {'A', 'z', 0x3A9, 0xE000, 0xD83D, 0xDE00, ' '};
  const int n = sizeof(chars) / sizeof(chars[0]);
  for (int flags : {0, 1})
  {
    unsigned short idx[n];
    EXPECT_EQ(GetGlyphIndicesW(c.get(), chars, n, idx, flags), n);
    for (int i = 0; i < n; ++i)
    {
      const bool surrogate = chars[i] >= 0xD800 && chars[i] <= 0xDFFF;
      const unsigned g = surrogate ? 0 : FT_Get_Char_Index(face, chars[i]);
      EXPECT_EQ(idx[i], g ? g : (flags == 1 ? 0xFFFF : 0)) << i;
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

TEST(SwellDraw, DrawingAgainRasterisesNothing)
{
  Obj font = MakeFont(13);
  Ctx first = DrawWhite(font.get(), "Cache me 12.5 dB", 200, 30, 3, 3);
  const uint64_t before = swell_detail::GlyphRasterCount();
  Ctx second = DrawWhite(font.get(), "Cache me 12.5 dB", 200, 30, 3, 3);
  EXPECT_EQ(swell_detail::GlyphRasterCount(), before);
  EXPECT_EQ(Snapshot(first.get(), 200, 30), Snapshot(second.get(), 200, 30));
  Ctx third = DrawWhite(font.get(), "Q", 200, 30, 3, 3);
  EXPECT_EQ(swell_detail::GlyphRasterCount(), before + 1);
}

TEST(SwellDraw, AddFontResourceRegistersFontFiles)
{
  EXPECT_EQ(AddFontResourceEx(FontFile("DejaVu Sans Mono").c_str(), 1, nullptr), 1);
  EXPECT_EQ(AddFontResourceEx("/nonexistent/font.ttf", 1, nullptr), 0);
  EXPECT_EQ(AddFontResourceEx(SWELL_TEST_FONTCONFIG, 0, nullptr), 0) << "not a font";
  EXPECT_EQ(AddFontResourceEx(nullptr, 1, nullptr), 0);
  EXPECT_EQ(AddFontResourceEx("", 1, nullptr), 0);
  // fonts made before and after keep working
  Obj font = MakeFont(12, "DejaVu Sans Mono");
  Ctx c = DrawWhite(font.get(), "mono", 60, 20, 1, 1);
  EXPECT_GT(InkCount(c.get(), 60, 20), 0);
}
