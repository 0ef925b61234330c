// TORVEN::ProcessDoubleReplacing, stereo, 44.1 kHz, blocks of 512 frames, at
// both oversampling factors:
//  - Steady: a running two-tone signal at -6 dBFS, controls off their flat
//    positions (the smoothers have come to rest, so the coefficients are no
//    longer recomputed).
//  - SilenceAfterBurst/N/P: one second of full-scale noise, then P seconds
//    of silence run untimed, then a timed stretch of about five seconds of
//    silence: the filter histories decay toward zero, where subnormal
//    arithmetic would show as a slowdown. (After real signal the Bessel
//    stages keep circling at about 1e-14 (N = 4) or 1e-10 (N = 16), which
//    keeps every history far above the subnormal range.)
//  - SubnormalSilence: N = 16, a click of 1e-12 (flushed whole by the
//    saturation path, so nothing keeps the sections busy), then 400 s of
//    silence untimed: the sections' histories have settled into subnormal
//    values for good (about 1e-316); then the same timed stretch.
//  - Bypassed/N: the steady signal with Bypass on. The sections keep running
//    on the signal (so leaving bypass starts from histories that followed
//    it), only their output is dropped: about the cost of Steady.
// Counters: time_per_frame (seconds per stereo frame) and x_realtime (seconds
// of audio per second of processing). These call the class directly in the
// host's default floating-point mode; the VersusFloor cases (floor_bench.cpp)
// go through the ABI.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "TORVEN/TORVEN.h"
#include "bench/torven/floor_bench.h"

namespace {

constexpr double kFs = 44100.0;
constexpr double kTwoPi = 6.283185307179586;
constexpr int kBlock = 512;
constexpr int kSignalBlocks = 64;  // the steady input cycles through these

std::unique_ptr<TORVEN> OpenPlug(int factor, bool bypassed = false)
{
  IPlugInstanceInfo info;
  auto plug = std::make_unique<TORVEN>(info);
  plug->SetSampleRate(kFs);
  plug->SetBlockSize(kBlock);
  plug->GetParam(kOversampling)->Set(factor == 16 ? 1.0 : 0.0);
  plug->GetParam(kGainH)->Set(0.7);
  plug->GetParam(kGainM)->Set(0.4);
  plug->GetParam(kGainL)->Set(0.6);
  plug->GetParam(kHPF)->Set(0.2);
  plug->GetParam(kLPF)->Set(-0.1);
  plug->GetParam(kBypass)->Set(bypassed ? 1.0 : 0.0);
  for (int i = 0; i < kNumParams; ++i) plug->OnParamChange(i);
  plug->Reset();
  return plug;
}

struct Buffers
{
  std::vector<double> in[2], out[2];
  explicit Buffers(size_t n) : in{std::vector<double>(n), std::vector<double>(n)}, out{std::vector<double>(n), std::vector<double>(n)} {}
  void Process(TORVEN& plug, size_t pos, int n)
  {
    double* ins[2] = {in[0].data() + pos, in[1].data() + pos};
    double* outs[2] = {out[0].data() + pos, out[1].data() + pos};
    plug.ProcessDoubleReplacing(ins, outs, n);
  }
};

void SetCounters(benchmark::State& state)
{
  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.counters["time_per_frame"] =
      benchmark::Counter(frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["x_realtime"] = benchmark::Counter(frames / kFs, benchmark::Counter::kIsRate);
}

void RunSteady(benchmark::State& state, bool bypassed)
{
  const int factor = static_cast<int>(state.range(0));
  auto plug = OpenPlug(factor, bypassed);
  Buffers buf(kBlock * kSignalBlocks);
  for (size_t i = 0; i < buf.in[0].size(); ++i)
  {
    const double t = static_cast<double>(i) / kFs;
    buf.in[0][i] = 0.4 * std::sin(kTwoPi * 220.0 * t) + 0.1 * std::sin(kTwoPi * 3100.0 * t);
    buf.in[1][i] = 0.4 * std::sin(kTwoPi * 330.0 * t) + 0.1 * std::sin(kTwoPi * 5200.0 * t);
  }
  for (int b = 0; b < 2 * kSignalBlocks; ++b) buf.Process(*plug, (b % kSignalBlocks) * kBlock, kBlock);  // settle

  int b = 0;
  for (auto _ : state)
  {
    buf.Process(*plug, static_cast<size_t>(b) * kBlock, kBlock);
    b = (b + 1) % kSignalBlocks;
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}

void BM_Steady(benchmark::State& state)
{
  RunSteady(state, false);
}

void BM_Bypassed(benchmark::State& state)
{
  RunSteady(state, true);
}

void BM_SilenceAfterBurst(benchmark::State& state)
{
  const int factor = static_cast<int>(state.range(0));
  const int prerollSeconds = static_cast<int>(state.range(1));
  auto plug = OpenPlug(factor);

  // One second of full-scale noise (a fixed generator, same every run).
  Buffers burst(kBlock);
  std::uint32_t seed = 12345;
  for (int blocks = 0; blocks < static_cast<int>(kFs) / kBlock; ++blocks)
  {
    for (int i = 0; i < kBlock; ++i)
      for (auto& ch : burst.in)
      {
        seed = seed * 1664525u + 1013904223u;
        ch[i] = static_cast<double>(seed) / 2147483648.0 - 1.0;
      }
    burst.Process(*plug, 0, kBlock);
  }

  Buffers silence(kBlock);
  for (int i = 0; i < prerollSeconds * static_cast<int>(kFs) / kBlock; ++i) silence.Process(*plug, 0, kBlock);

  for (auto _ : state)
  {
    silence.Process(*plug, 0, kBlock);
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}

void BM_SubnormalSilence(benchmark::State& state)
{
  auto plug = OpenPlug(16);
  Buffers buf(kBlock);
  buf.in[0][0] = 1e-12;
  buf.in[1][0] = -1e-12;
  buf.Process(*plug, 0, kBlock);
  buf.in[0][0] = buf.in[1][0] = 0.0;
  for (int i = 0; i < 400 * static_cast<int>(kFs) / kBlock; ++i) buf.Process(*plug, 0, kBlock);
  if (!(std::fabs(buf.out[0][kBlock - 1]) < 2.2250738585072014e-308 && buf.out[0][kBlock - 1] != 0.0))
    state.SkipWithError("the histories did not settle at subnormal values");

  for (auto _ : state)
  {
    buf.Process(*plug, 0, kBlock);
    benchmark::ClobberMemory();
  }
  SetCounters(state);
}

}  // namespace

BENCHMARK(BM_Steady)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Bypassed)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);
// About five seconds of audio per timed stretch.
BENCHMARK(BM_SilenceAfterBurst)
    ->Args({4, 0})->Args({4, 5})->Args({4, 10})->Args({4, 30})
    ->Args({16, 0})->Args({16, 5})->Args({16, 10})->Args({16, 30})
    ->Iterations(431)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_SubnormalSilence)->Iterations(431)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
  for (int i = 1; i < argc; ++i)
    if (std::strncmp(argv[i], "--plugin=", 9) == 0)
    {
      FloorPluginPath() = argv[i] + 9;
      for (int j = i; j + 1 < argc; ++j) argv[j] = argv[j + 1];
      --argc;
      break;
    }
  RegisterFloorBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  FloorReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintTable();
  benchmark::Shutdown();
  return 0;
}
