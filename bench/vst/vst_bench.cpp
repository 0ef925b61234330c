// The plug-in as a host runs it: build/TORVEN.so loaded through the VST 2.4
// ABI, stereo, 44.1 kHz, blocks of 512 frames, every parameter at its default,
// through processReplacing and processDoubleReplacing. The process callbacks
// hold the instance mutex, route the buffers and switch flush-to-zero and
// denormals-are-zero on for the call ("adapter").
//
// The baseline ("direct") runs the same processing without the adapter: the
// plug-in class from the torven library, its ProcessDoubleReplacing called
// directly in the host's default floating-point mode (FTZ and DAZ off), the
// float path converting in the benchmark. Each case runs both side by side,
// block for block on the same input; ratio = direct time / adapter time
// (above 1: the adapter path is faster).
//
// Signals:
//  - steady: a music-like stereo signal (tones, a sweep, some noise) at about
//    -6 dBFS, cycling through 16 blocks.
//  - silence: exact zeros after one second of full-scale noise; every 20
//    seconds of audio the burst is repeated (untimed), so the timed blocks are
//    the first 20 seconds of decay, where filter histories shrink toward zero.
//  - subnormal: a tail that has decayed into the subnormal range of the host's
//    own precision (noise near 1e-310 for doubles, near 1e-40 for floats).
//
// Counters (CPU time of this thread): direct_ns and adapter_ns per stereo
// frame, direct_xrt and adapter_xrt (seconds of audio per second), ratio. The
// summary at the end repeats them; with --benchmark_repetitions=N it shows
// the medians.
#include <benchmark/benchmark.h>

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TORVEN/TORVEN.h"
#include "tools/vsthost.h"

namespace {

constexpr double kFs = 44100.0;
constexpr int kBlock = 512;
constexpr int kSignalBlocks = 16;  // both ways' buffers stay in cache
constexpr int kBurstBlocks = static_cast<int>(kFs) / kBlock;        // about 1 s
constexpr int kDecayBlocks = 20 * static_cast<int>(kFs) / kBlock;   // about 20 s
constexpr unsigned int kFtzDaz = 0x8040;

enum ESignal
{
  kSteady,
  kSilence,
  kSubnormal
};

const char* SignalName(ESignal s)
{
  return s == kSteady ? "steady" : s == kSilence ? "silence" : "subnormal";
}

struct Rng
{
  std::uint32_t seed = 12345;
  double Next()  // -1 .. 1
  {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed) / 2147483648.0 - 1.0;
  }
};

// kSignalBlocks blocks of stereo input for one signal, in double.
std::vector<double> MakeSignal(ESignal signal, bool doublePrecision, int channel)
{
  std::vector<double> x(static_cast<size_t>(kBlock) * kSignalBlocks);
  Rng rng;
  rng.seed += static_cast<std::uint32_t>(channel);
  for (size_t i = 0; i < x.size(); ++i)
  {
    const double t = static_cast<double>(i) / kFs;
    switch (signal)
    {
      case kSteady:
      {
        const double f = channel ? 330.0 : 220.0;
        const double env = 0.75 + 0.25 * std::sin(2.0 * M_PI * 1.5 * t);
        x[i] = env * (0.3 * std::sin(2.0 * M_PI * f * t) + 0.1 * std::sin(2.0 * M_PI * 2.01 * f * t) +
                      0.05 * std::sin(2.0 * M_PI * (500.0 + 4000.0 * t) * t)) +
               0.02 * rng.Next();
        break;
      }
      case kSilence: x[i] = 0.0; break;
      case kSubnormal: x[i] = rng.Next() * (doublePrecision ? 1e-310 : 1e-40); break;
    }
  }
  return x;
}

// One way of running the plug-in: the adapter through the ABI, or the class
// directly.
class Runner
{
public:
  virtual ~Runner() = default;
  // Processes block b of the input into the output.
  virtual void Block(int b) = 0;
  virtual void Burst(Rng* rng) = 0;
};

template <typename T>
struct Buffers
{
  std::vector<T> in[2], out[2];
  void Load(ESignal signal)
  {
    for (int c = 0; c < 2; ++c)
    {
      const std::vector<double> x = MakeSignal(signal, sizeof(T) == sizeof(double), c);
      in[c].assign(x.begin(), x.end());
      out[c].assign(x.size(), T(0));
    }
  }
  void Noise(Rng* rng)
  {
    for (size_t i = 0; i < kBlock; ++i)
      for (auto& ch : in) ch[i] = static_cast<T>(rng->Next());
  }
};

template <typename T>
class AdapterRunner : public Runner
{
public:
  AdapterRunner(ESignal signal, std::string* error)
  {
    mPlugin = vsthost::Plugin::Load(TORVEN_SO, error);
    if (!mPlugin) return;
    mPlugin->Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(kFs));
    mPlugin->Dispatch(effSetBlockSize, 0, kBlock);
    mPlugin->Dispatch(effMainsChanged, 0, 1);
    AEffect* e = mPlugin->Effect();
    for (int i = 0; i < e->numParams; ++i) e->setParameter(e, i, e->getParameter(e, i));
    mBuf.Load(signal);
  }
  bool Ok() const { return mPlugin != nullptr; }

  void Block(int b) override
  {
    T* ins[2] = {mBuf.in[0].data() + b * kBlock, mBuf.in[1].data() + b * kBlock};
    T* outs[2] = {mBuf.out[0].data() + b * kBlock, mBuf.out[1].data() + b * kBlock};
    AEffect* e = mPlugin->Effect();
    if constexpr (sizeof(T) == sizeof(double)) e->processDoubleReplacing(e, ins, outs, kBlock);
    else e->processReplacing(e, ins, outs, kBlock);
  }

  void Burst(Rng* rng) override
  {
    Buffers<T> noise;
    noise.Load(kSilence);
    T* ins[2] = {noise.in[0].data(), noise.in[1].data()};
    T* outs[2] = {noise.out[0].data(), noise.out[1].data()};
    AEffect* e = mPlugin->Effect();
    for (int b = 0; b < kBurstBlocks; ++b)
    {
      noise.Noise(rng);
      if constexpr (sizeof(T) == sizeof(double)) e->processDoubleReplacing(e, ins, outs, kBlock);
      else e->processReplacing(e, ins, outs, kBlock);
    }
  }

private:
  std::unique_ptr<vsthost::Plugin> mPlugin;
  Buffers<T> mBuf;
};

// The plug-in class called directly, in the host's default floating-point mode.
template <typename T>
class DirectRunner : public Runner
{
public:
  explicit DirectRunner(ESignal signal)
  {
    IPlugInstanceInfo info;
    mPlug = std::make_unique<TORVEN>(info);
    mPlug->SetSampleRate(kFs);
    mPlug->SetBlockSize(kBlock);
    mPlug->Reset();
    for (int i = 0; i < mPlug->NParams(); ++i)
    {
      mPlug->GetParam(i)->SetNormalized(mPlug->GetParam(i)->GetNormalized());
      mPlug->OnParamChange(i);
    }
    mBuf.Load(signal);
    for (auto& s : mScratch) s.assign(kBlock, 0.0);
    for (auto& s : mScratchOut) s.assign(kBlock, 0.0);
  }

  void Block(int b) override { Run(mBuf.in[0].data() + b * kBlock, mBuf.in[1].data() + b * kBlock,
                                   mBuf.out[0].data() + b * kBlock, mBuf.out[1].data() + b * kBlock); }

  void Burst(Rng* rng) override
  {
    Buffers<T> noise;
    noise.Load(kSilence);
    for (int b = 0; b < kBurstBlocks; ++b)
    {
      noise.Noise(rng);
      Run(noise.in[0].data(), noise.in[1].data(), noise.out[0].data(), noise.out[1].data());
    }
  }

private:
  void Run(T* in0, T* in1, T* out0, T* out1)
  {
    if constexpr (sizeof(T) == sizeof(double))
    {
      double* ins[2] = {in0, in1};
      double* outs[2] = {out0, out1};
      mPlug->ProcessDoubleReplacing(ins, outs, kBlock);
    }
    else
    {
      // What the float routing does, without the adapter around it.
      for (int i = 0; i < kBlock; ++i)
      {
        mScratch[0][i] = in0[i];
        mScratch[1][i] = in1[i];
      }
      double* ins[2] = {mScratch[0].data(), mScratch[1].data()};
      double* outs[2] = {mScratchOut[0].data(), mScratchOut[1].data()};
      mPlug->ProcessDoubleReplacing(ins, outs, kBlock);
      for (int i = 0; i < kBlock; ++i)
      {
        out0[i] = static_cast<float>(mScratchOut[0][i]);
        out1[i] = static_cast<float>(mScratchOut[1][i]);
      }
    }
  }

  std::unique_ptr<TORVEN> mPlug;
  Buffers<T> mBuf;
  std::vector<double> mScratch[2], mScratchOut[2];
};

double ThreadCpuNs()
{
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

// Both ways block by block, in alternating order, each block timed on this
// thread's CPU clock: load from other processes and slow drifts hit both
// sides alike, and time spent descheduled counts for neither.
template <typename T>
void BM_Pair(benchmark::State& state, ESignal signal)
{
  // The baseline runs in the mode a host thread starts with.
  const unsigned int savedCsr = _mm_getcsr();
  _mm_setcsr(savedCsr & ~kFtzDaz);

  std::string error;
  AdapterRunner<T> adapter(signal, &error);
  if (!adapter.Ok())
  {
    _mm_setcsr(savedCsr);
    state.SkipWithError(error.c_str());
    return;
  }
  DirectRunner<T> direct(signal);
  Runner* runners[2] = {&direct, &adapter};

  Rng rngs[2];
  for (int r = 0; r < 2; ++r)
  {
    if (signal == kSilence) runners[r]->Burst(&rngs[r]);
    else
      for (int i = 0; i < 2 * kSignalBlocks; ++i) runners[r]->Block(i % kSignalBlocks);  // settle the smoothers
  }

  double ns[2] = {0.0, 0.0};
  int b = 0, sinceBurst = 0;
  for (auto _ : state)
  {
    if (signal == kSilence && sinceBurst == kDecayBlocks)
    {
      state.PauseTiming();
      for (int r = 0; r < 2; ++r) runners[r]->Burst(&rngs[r]);
      sinceBurst = 0;
      state.ResumeTiming();
    }
    for (int k = 0; k < 2; ++k)
    {
      const int r = (b + k) % 2;  // alternate which goes first
      const double t0 = ThreadCpuNs();
      runners[r]->Block(b);
      ns[r] += ThreadCpuNs() - t0;
    }
    b = (b + 1) % kSignalBlocks;
    ++sinceBurst;
    benchmark::ClobberMemory();
  }
  _mm_setcsr(savedCsr);

  const double frames = static_cast<double>(state.iterations()) * kBlock;
  const double directNs = ns[0] / frames, adapterNs = ns[1] / frames;
  state.counters["direct_ns"] = directNs;
  state.counters["adapter_ns"] = adapterNs;
  state.counters["direct_xrt"] = 1e9 / kFs / directNs;
  state.counters["adapter_xrt"] = 1e9 / kFs / adapterNs;
  state.counters["ratio"] = directNs / adapterNs;
}

// Keeps each case's counters for the summary: the median when the run is
// repeated, else the single run.
class SummaryReporter : public benchmark::ConsoleReporter
{
public:
  void ReportRuns(const std::vector<Run>& reports) override
  {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& r : reports)
    {
      if (r.error_occurred) continue;
      const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
      if (r.run_type == Run::RT_Aggregate && !median) continue;
      const std::string& name = r.run_name.function_name;
      if (!median && mFromMedian.count(name)) continue;
      if (median) mFromMedian[name] = true;
      std::map<std::string, double>& row = results[name];
      for (const auto& c : r.counters) row[c.first] = c.second.value;
    }
  }
  std::map<std::string, std::map<std::string, double>> results;

private:
  std::map<std::string, bool> mFromMedian;
};

}  // namespace

int main(int argc, char** argv)
{
  const char* callbacks[2] = {"processReplacing", "processDoubleReplacing"};
  std::vector<std::string> names;
  for (int cb = 0; cb < 2; ++cb)
    for (ESignal signal : {kSteady, kSilence, kSubnormal})
    {
      names.push_back(std::string(callbacks[cb]) + "/" + SignalName(signal));
      if (cb == 0) benchmark::RegisterBenchmark(names.back().c_str(), BM_Pair<float>, signal)->MinTime(2.0);
      else benchmark::RegisterBenchmark(names.back().c_str(), BM_Pair<double>, signal)->MinTime(2.0);
    }

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\nCPU time per stereo frame, 44.1 kHz, stereo blocks of %d; ratio = direct / adapter\n", kBlock);
  std::printf("%-34s %10s %10s %10s %10s %7s\n", "case", "direct ns", "x realtime", "adapter ns", "x realtime",
              "ratio");
  for (const std::string& name : names)
  {
    auto it = reporter.results.find(name);
    if (it == reporter.results.end()) continue;
    std::map<std::string, double>& c = it->second;
    std::printf("%-34s %10.1f %10.1f %10.1f %10.1f %7.2f\n", name.c_str(), c["direct_ns"], c["direct_xrt"],
                c["adapter_ns"], c["adapter_xrt"], c["ratio"]);
  }
  benchmark::Shutdown();
  return 0;
}
