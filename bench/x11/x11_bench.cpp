// What TORVEN's editor costs on a private Xvfb (started here; the benchmark
// exits when Xvfb is missing), with the plug-in class and its editor linked
// in and driven through its effect record as a host drives it:
//
//  - dispatch:     an effGetVstVersion call, the cheapest call there is (the
//                  baseline an idle call is compared with);
//  - idle_clean:   effEditIdle on an open editor with nothing dirty: drain the
//                  (empty) event queue, ask every control whether it is dirty;
//  - draw_full:    IGraphics::Draw of the whole 300 x 570 editor into its
//                  bitmap (raster work only);
//  - tick_full:    every control dirty, then one effEditIdle: the full repaint,
//                  the copy into the put image and the put to the server;
//  - put_full, put_knob: the copy and put of the whole editor / one 64 x 64
//                  knob, and a round trip so that the server has taken the
//                  pixels.
// The tick and put cases run with MIT-SHM (/1) and with plain XPutImage (/0).
// Ratios to quote: idle_clean / dispatch, and tick_full against a frame
// (16.7 ms at 60 Hz, 40 ms at the editor's 25 frames per second).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "TORVEN/TORVEN.h"
#include "WDL/IPlug/IGraphics.h"
#include "WDL/IPlug/src/XConnection_p.h"
#include "WDL/lice/lice.h"
#include "tools/xserver.h"

// Last: Xlib's Bool and None macros would break the headers above.
#include <X11/Xlib.h>

namespace {

constexpr int kW = 300, kH = 570;

xserver::PrivateX* Server(bool shm)
{
  static std::unique_ptr<xserver::PrivateX> servers[2];
  std::unique_ptr<xserver::PrivateX>& s = servers[shm ? 1 : 0];
  if (!s)
  {
    s.reset(new xserver::PrivateX());
    if (!s->Start(shm))
    {
      fprintf(stderr, "x11_bench: Xvfb did not start\n");
      exit(1);
    }
  }
  return s.get();
}

// A host: its own connection and window, and TORVEN with the editor open in it.
struct Host
{
  explicit Host(bool shm)
  {
    setenv("DISPLAY", Server(shm)->Name().c_str(), 1);
    display = XOpenDisplay(nullptr);
    parent = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 700, 0, 0, 0);
    XMapWindow(display, parent);
    XSync(display, False);
    plug.reset(new TORVEN(IPlugInstanceInfo()));
    effect = plug->GetAEffect();
    Call(effOpen);
    Call(effEditOpen, 0, reinterpret_cast<void*>((uintptr_t)parent));
    for (int i = 0; i < 5; ++i) Call(effEditIdle);
  }
  ~Host()
  {
    Call(effEditClose);
    plug.reset();
    XDestroyWindow(display, parent);
    XCloseDisplay(display);
  }
  VstIntPtr Call(VstInt32 op, VstIntPtr value = 0, void* ptr = nullptr)
  {
    return effect->dispatcher(effect, op, 0, value, ptr, 0.f);
  }
  void AllDirty()
  {
    IPlugBase::IMutexLock lock(plug.get());
    plug->GetGUI()->SetAllControlsDirty();
  }

  Display* display = nullptr;
  Window parent = 0;
  std::unique_ptr<TORVEN> plug;
  AEffect* effect = nullptr;
};

void dispatch(benchmark::State& state)
{
  Host h(true);
  for (auto _ : state) benchmark::DoNotOptimize(h.Call(effGetVstVersion));
}
BENCHMARK(dispatch);

void idle_clean(benchmark::State& state)
{
  Host h(true);
  for (auto _ : state) h.Call(effEditIdle);
}
BENCHMARK(idle_clean);

void draw_full(benchmark::State& state)
{
  Host h(true);
  IGraphics* g = h.plug->GetGUI();
  IPlugBase::IMutexLock lock(h.plug.get());
  for (auto _ : state)
  {
    IRECT all(0, 0, kW, kH);
    g->Draw(&all);
  }
  state.counters["Mpx/s"] = benchmark::Counter((double)kW * kH, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(draw_full)->Unit(benchmark::kMicrosecond);

void tick_full(benchmark::State& state)
{
  Host h(state.range(0) != 0);
  for (auto _ : state)
  {
    h.AllDirty();
    h.Call(effEditIdle);
    // The server finishes with the put outside the timing, so that every
    // tick finds the put image free (as ticks 40 ms apart do).
    state.PauseTiming();
    XSync(h.display, False);
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    state.ResumeTiming();
  }
}
BENCHMARK(tick_full)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond)->Iterations(400);

void put(benchmark::State& state, int w, int h)
{
  const bool shm = state.range(0) != 0;
  Server(shm);
  Display* d = XOpenDisplay(Server(shm)->Name().c_str());
  Window parent = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, kW, kH, 0, 0, 0);
  XMapWindow(d, parent);
  XSync(d, False);
  std::string error;
  auto c = ixwin::XConnection::Open(Server(shm)->Name().c_str(), parent, kW, kH, &error);
  if (!c)
  {
    state.SkipWithError(error.c_str());
    return;
  }
  std::vector<uint32_t> pixels((size_t)kW * kH, 0x336699);
  for (auto _ : state)
  {
    while (c->ImageBusy()) c->Wait(1);
    c->CopyToImage(pixels.data(), kW, {0, 0, w, h});
    c->PutImage({0, 0, w, h});
    c->Sync();
  }
  state.counters["Mpx/s"] = benchmark::Counter((double)w * h, benchmark::Counter::kIsIterationInvariantRate);
  c.reset();
  XDestroyWindow(d, parent);
  XCloseDisplay(d);
}

void put_full(benchmark::State& state)
{
  put(state, kW, kH);
}
BENCHMARK(put_full)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void put_knob(benchmark::State& state)
{
  put(state, 64, 64);
}
BENCHMARK(put_knob)->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
