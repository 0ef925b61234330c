// The editor's repaint against a plain full-size blit, in one binary so the
// ratio comes from one run. The editor is the plug-in's layout: a 300 x 570
// opaque background, six 31-frame knob strips (48 x 62 frames: an opaque disc
// with an anti-aliased rim on a transparent ground) and two 2-frame switches,
// all bitmaps made here.
//   PlainBlit        LICE_Blit of the whole background (opaque copy): the baseline
//   FullRepaint      every control dirty: IsDirty, then Draw of the whole editor
//   OneKnobRepaint   a host automation change: one knob and the background under it
//   IdleTick         nothing dirty: the per-tick cost of an idle editor
// items_per_second counts editor pixels covered by the repaint.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "WDL/IPlug/IControl.h"
#include "WDL/IPlug/IGraphics.h"
#include "WDL/lice/lice.h"

namespace {

constexpr int kW = 300, kH = 570;

// An editor with no screen: every platform operation does nothing.
class HeadlessGraphics : public IGraphics
{
public:
  HeadlessGraphics() : IGraphics(nullptr, kW, kH) {}
  bool DrawScreen(IRECT*) override { return true; }
  void ForceEndUserEdit() override {}
  int ShowMessageBox(const char*, const char*, int) override { return 0; }
  IPopupMenu* CreateIPopupMenu(IPopupMenu*, IRECT*) override { return nullptr; }
  void CreateTextEntry(IControl*, IText*, IRECT*, const char*, IParam*) override {}
  void HostPath(WDL_String*) override {}
  void PluginPath(WDL_String*) override {}
  void DesktopPath(WDL_String*) override {}
  void AppSupportPath(WDL_String*, bool) override {}
  void SandboxSafeAppSupportPath(WDL_String*) override {}
  void PromptForFile(WDL_String*, EFileAction, WDL_String*, const char*) override {}
  bool PromptForColor(IColor*, const char*) override { return false; }
  bool OpenURL(const char*, const char*, const char*, const char*) override { return false; }
  void* OpenWindow(void*) override { return nullptr; }
  void CloseWindow() override {}
  void* GetWindow() override { return nullptr; }
  bool GetTextFromClipboard(WDL_String*) override { return false; }
  void UpdateTooltips() override {}
  LICE_IBitmap* OSLoadBitmap(int, const char*) override { return nullptr; }
};

uint32_t Lcg(uint32_t& s)
{
  s = s * 1664525u + 1013904223u;
  return s >> 8;
}

// nFrames frames of w x h stacked: a disc with an anti-aliased rim whose
// shade changes per frame.
LICE_MemBitmap* Strip(int w, int h, int nFrames, uint32_t seed)
{
  LICE_MemBitmap* bm = new LICE_MemBitmap(w, h * nFrames);
  const double cx = w / 2.0, cy = h / 2.0, r = std::min(w, h) * 0.45;
  for (int f = 0; f < nFrames; ++f)
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
      {
        const double d = std::hypot(x + 0.5 - cx, y + 0.5 - cy);
        const double cover = std::min(1.0, std::max(0.0, r - d + 0.5));
        const uint32_t a = (uint32_t)(cover * 255.0 + 0.5);
        const uint32_t c = (Lcg(seed) & 0x3f3f3f) + (uint32_t)(f * 4) * 0x010101u;
        bm->getBits()[(size_t)(f * h + y) * bm->getRowSpan() + x] = (a << 24) | c;
      }
  return bm;
}

struct EditorFixture
{
  EditorFixture()
  {
    uint32_t seed = 1;
    LICE_MemBitmap* bg = new LICE_MemBitmap(kW, kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) bg->getBits()[(size_t)y * bg->getRowSpan() + x] = 0xFF000000u | Lcg(seed);
    mBackground = IBitmap(bg, kW, kH, 1);
    mGraphics.RetainBitmap(&mBackground);
    mGraphics.AttachControl(new IBitmapControl(nullptr, 0, 0, -1, &mBackground, IChannelBlend::kBlendClobber));

    const int knobXY[6][2] = {{182, 62}, {182, 310}, {182, 185}, {32, 309}, {32, 185}, {34, 61}};
    for (int i = 0; i < 6; ++i)
    {
      IBitmap knob(Strip(48, 62, 31, 100 + i), 48, 62 * 31, 31);
      mGraphics.RetainBitmap(&knob);
      mKnobs[i] = new IKnobMultiControl(nullptr, knobXY[i][0], knobXY[i][1], i, &knob);
      mGraphics.AttachControl(mKnobs[i]);
    }
    IBitmap sw(Strip(60, 27, 2, 200), 60, 54, 2);
    mGraphics.RetainBitmap(&sw);
    mGraphics.AttachControl(new ISwitchControl(nullptr, -2, 430, 6, &sw));
    mGraphics.AttachControl(new ISwitchControl(nullptr, 0, 543, 7, &sw));
    for (int i = 0; i < 8; ++i) mGraphics.SetParameterFromPlug(i, 0.3 + 0.05 * i, true);
    mGraphics.PrepDraw();
    IRECT r;
    while (mGraphics.IsDirty(&r)) mGraphics.Draw(&r);
  }

  HeadlessGraphics mGraphics;
  IBitmap mBackground;
  IKnobMultiControl* mKnobs[6];
};

EditorFixture& Fixture()
{
  static EditorFixture sFixture;
  return sFixture;
}

void PlainBlit(benchmark::State& state)
{
  EditorFixture& f = Fixture();
  for (auto _ : state)
  {
    LICE_Blit(f.mGraphics.GetDrawBitmap(), f.mBackground.mData, 0, 0, 0, 0, kW, kH, 1.0f, LICE_MODE_COPY);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void FullRepaint(benchmark::State& state)
{
  EditorFixture& f = Fixture();
  for (auto _ : state)
  {
    f.mGraphics.SetAllControlsDirty();
    IRECT r;
    f.mGraphics.IsDirty(&r);
    f.mGraphics.Draw(&r);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void OneKnobRepaint(benchmark::State& state)
{
  EditorFixture& f = Fixture();
  int i = 0;
  const IRECT knob = f.mKnobs[3]->GetRECT();
  for (auto _ : state)
  {
    // The host moves parameter 3; the redraw flag makes it two passes.
    f.mGraphics.SetParameterFromPlug(3, (++i & 1) ? 0.8 : 0.2, true);
    IRECT r;
    while (f.mGraphics.IsDirty(&r)) f.mGraphics.Draw(&r);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * 2 * knob.W() * knob.H());
}

void IdleTick(benchmark::State& state)
{
  EditorFixture& f = Fixture();
  for (auto _ : state)
  {
    IRECT r;
    benchmark::DoNotOptimize(f.mGraphics.IsDirty(&r));
  }
}

}  // namespace

BENCHMARK(PlainBlit);
BENCHMARK(FullRepaint);
BENCHMARK(OneKnobRepaint);
BENCHMARK(IdleTick);
BENCHMARK_MAIN();
