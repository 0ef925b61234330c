// The committed editor images against the generator, and against the editor's layout.
#include "artwork.h"
#include "layout.h"
#include "scales.h"

#include "WDL/lice/lice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace artwork;

struct Loaded
{
  const Placement* place;
  std::unique_ptr<LICE_IBitmap> bitmap;
  int frameH;
};

std::vector<Loaded> LoadCommitted()
{
  std::vector<Loaded> out;
  for (const Placement& p : kPlacements)
  {
    const std::string path = std::string(TORVEN_IMG_DIR) + "/" + p.name + ".png";
    std::unique_ptr<LICE_IBitmap> bm(LICE_LoadPNG(path.c_str()));
    const int h = bm ? bm->getHeight() : 0;
    out.push_back({&p, std::move(bm), h / p.frames});
  }
  return out;
}

struct Rect
{
  int l, t, r, b;
};
bool Intersects(const Rect& a, const Rect& b) { return a.l < b.r && b.l < a.r && a.t < b.b && b.t < a.b; }

TEST(Artwork, CommittedImagesAreWhatTheGeneratorDraws)
{
  const std::vector<Image> drawn = RenderArtwork();
  ASSERT_EQ((int)drawn.size(), kPlacementCount);
  const std::vector<Loaded> committed = LoadCommitted();
  for (int i = 0; i < kPlacementCount; ++i)
  {
    SCOPED_TRACE(drawn[i].name);
    ASSERT_TRUE(committed[i].bitmap) << "missing; run `make artwork`";
    int box[4];
    EXPECT_EQ(LICE_BitmapCmp(drawn[i].bitmap.get(), committed[i].bitmap.get(), box), 0)
        << "differs in x " << box[0] << " y " << box[1] << " w " << box[2] << " h " << box[3]
        << "; run `make artwork` and commit the images";
  }
  // A second drawing in the same process must not depend on what the first left behind
  // (font and glyph caches, scratch bitmaps).
  const std::vector<Image> again = RenderArtwork();
  ASSERT_EQ(again.size(), drawn.size());
  for (size_t i = 0; i < drawn.size(); ++i)
    EXPECT_EQ(LICE_BitmapCmp(drawn[i].bitmap.get(), again[i].bitmap.get()), 0) << drawn[i].name;
}

TEST(Artwork, ImagesFitTheLayout)
{
  const std::vector<Loaded> imgs = LoadCommitted();
  std::vector<Rect> controls;
  for (const Loaded& l : imgs)
  {
    const Placement& p = *l.place;
    SCOPED_TRACE(p.name);
    ASSERT_TRUE(l.bitmap);
    const int w = l.bitmap->getWidth(), h = l.bitmap->getHeight();
    ASSERT_EQ(h % p.frames, 0) << "frames must stack evenly";
    const Rect r = {p.x, p.y, p.x + w, p.y + l.frameH};
    if (std::string(p.name) == "bg")
    {
      EXPECT_EQ(w, kWindowW);
      EXPECT_EQ(h, kWindowH);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(LICE_GETA(LICE_GetPixel(l.bitmap.get(), x, y)), 255u) << x << "," << y;
      continue;
    }
    // Inside the window, except the Bypass switch, which starts two columns left of it.
    const int left = std::string(p.name) == "by" ? -2 : 0;
    EXPECT_GE(r.l, left);
    EXPECT_GE(r.t, 0);
    EXPECT_LE(r.r, kWindowW);
    EXPECT_LE(r.b, kWindowH);
    if (std::string(p.name) == "OVER")
    {
      EXPECT_LE(l.frameH, 27) << "the 27 rows under y = 543";
    }
    // Nothing drawn where the window cannot show it.
    for (int f = 0; f < p.frames; ++f)
      for (int y = 0; y < l.frameH; ++y)
        for (int x = 0; x < w; ++x)
          if (p.x + x < 0 || p.x + x >= kWindowW)
          {
            ASSERT_EQ(LICE_GETA(LICE_GetPixel(l.bitmap.get(), x, f * l.frameH + y)), 0u) << "frame " << f;
          }
    for (const Rect& o : controls) EXPECT_FALSE(Intersects(r, o)) << "overlaps another control";
    controls.push_back(r);
    // Every frame shows something of its own.
    for (int f = 1; f < p.frames; ++f)
    {
      std::unique_ptr<LICE_MemBitmap> a(new LICE_MemBitmap(w, l.frameH)), b(new LICE_MemBitmap(w, l.frameH));
      LICE_Blit(a.get(), l.bitmap.get(), 0, 0, 0, (f - 1) * l.frameH, w, l.frameH, 1.0f, LICE_MODE_COPY);
      LICE_Blit(b.get(), l.bitmap.get(), 0, 0, 0, f * l.frameH, w, l.frameH, 1.0f, LICE_MODE_COPY);
      EXPECT_NE(LICE_BitmapCmp(a.get(), b.get()), 0) << "frames " << f - 1 << " and " << f << " are the same";
    }
  }
  // The link area over the bottom-right corner touches no control.
  for (const Rect& o : controls) EXPECT_FALSE(Intersects({kLinkL, kLinkT, kLinkR, kLinkB}, o));
}

// The value arc tells which frame shows which value: it grows from the minimum for the
// filters and away from the middle frame for the bands and the output.
TEST(Artwork, KnobFramesRunFromMinimumToMaximum)
{
  const std::vector<Loaded> imgs = LoadCommitted();
  const struct
  {
    const char* name;
    int column, row;
    bool bipolar;
  } knobs[] = {{"LPF", 0, 0, false}, {"HPF", 0, 1, false}, {"OUT", 0, 2, true},
               {"GainH", 1, 0, true}, {"GainM", 1, 1, true}, {"GainL", 1, 2, true}};
  for (const auto& k : knobs)
  {
    SCOPED_TRACE(k.name);
    const Loaded* l = nullptr;
    for (const Loaded& c : imgs)
      if (std::string(c.place->name) == k.name) l = &c;
    ASSERT_TRUE(l && l->bitmap);
    ASSERT_EQ(l->place->frames, kKnobFrames);
    const int cx = kColumnX[k.column] - l->place->x, cy = kRowY[k.row] - l->place->y;
    // Opacity summed over a thin ring in the middle of the arc's track; the lit arc
    // dominates it, the fixed shadow adds the same to every frame.
    std::vector<double> lit;
    for (int f = 0; f < kKnobFrames; ++f)
    {
      double sum = 0;
      for (int y = 0; y < l->frameH; ++y)
        for (int x = 0; x < l->bitmap->getWidth(); ++x)
        {
          const double r = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
          if (r >= 26.0 && r <= 27.5) sum += LICE_GETA(LICE_GetPixel(l->bitmap.get(), x, f * l->frameH + y));
        }
      lit.push_back(sum);
    }
    const int mid = kKnobFrames / 2;
    for (int f = 1; f < kKnobFrames; ++f)
    {
      if (!k.bipolar || f > mid)
      {
        EXPECT_GT(lit[f], lit[f - 1]) << "frame " << f;
      }
      else
      {
        EXPECT_LT(lit[f], lit[f - 1]) << "frame " << f;
      }
    }
    if (k.bipolar)
    {
      EXPECT_NEAR(lit[0], lit[kKnobFrames - 1], 0.02 * lit[0]) << "the ends light the same length";
    }
  }
}

// Scale labels sit in the order of their values, and each position measures its label.
TEST(Artwork, ScaleLabelsAreWhereTheModelsReachThem)
{
  const Knob knobs[] = {Knob::kHigh, Knob::kMid, Knob::kLow, Knob::kHighPass, Knob::kLowPass, Knob::kOutput};
  for (Knob k : knobs)
  {
    double prevPos = -1, prevValue = -1e9;
    std::vector<ScaleMark> marks = ScaleCandidates(k);
    std::sort(marks.begin(), marks.end(), [](const ScaleMark& a, const ScaleMark& b) { return a.position < b.position; });
    for (const ScaleMark& m : marks)
    {
      SCOPED_TRACE(m.text);
      const double v = MeasureKnob(k, m.position);
      EXPECT_GT(m.position, prevPos);
      EXPECT_GT(v, prevValue);
      // The label reads the measured value: whole dB, or two significant digits of Hz.
      if (k == Knob::kHighPass || k == Knob::kLowPass)
      {
        const double printed = std::atof(m.text.c_str()) * (m.text.back() == 'k' ? 1000.0 : 1.0);
        EXPECT_LT(std::fabs(printed - v), 0.05 * v) << "measures " << v;
      }
      else
      {
        const bool minus = m.text.compare(0, 3, "\xE2\x88\x92") == 0;
        const double printed = minus ? -std::atof(m.text.c_str() + 3) : std::atof(m.text.c_str());
        EXPECT_LE(std::fabs(printed - v), 0.5) << "measures " << v;
      }
      prevPos = m.position, prevValue = v;
    }
  }
  // Outside what a knob covers there is no position.
  EXPECT_EQ(PositionFor(Knob::kOutput, 16.0), -1.0);
  EXPECT_EQ(PositionFor(Knob::kHighPass, 5.0), -1.0);
}

} // namespace

// fontconfig keeps what it parsed for the life of the process.
extern "C" __attribute__((visibility("default"))) const char* __lsan_default_suppressions()
{
  return "leak:libfontconfig.so\n";
}

int main(int argc, char** argv)
{
  setenv("FONTCONFIG_FILE", TORVEN_ARTWORK_FONTCONFIG, 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
