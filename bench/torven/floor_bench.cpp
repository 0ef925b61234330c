// TORVEN through the VST 2.4 ABI (build/TORVEN.so) against its floor: a
// program doing only the work nothing can remove, the two 10th-order Bessel
// recursions of both channels at N times the rate, in their exact
// accumulation order, with the flush, the down stage fed by the up stage.
// Each of those steps is a multiply and ten dependent adds that cannot start
// before the previous step has finished, so this is the latency floor of the
// saturation path on the machine at hand (in its fastest form here: with
// AVX2, the four recursions in the lanes of one register).
//
// Stereo, 44.1 kHz, blocks of 512, both factors, through processReplacing
// (float) and processDoubleReplacing (double). Signals: white noise at
// -12 dBFS, a two-tone signal, and the silence after full-scale noise (both
// sides having run through the same burst); controls settled (long enough
// for the smoothers to come to rest) or all six (OUT, HPF, LPF and the three
// bands) jumping to new values every 93 ms (8 blocks), so the smoothers
// never settle. TORVEN and the floor run block for block in alternating
// order, each block timed on this thread's CPU clock, so load from other
// processes hits both alike. Counters: torven_ns and floor_ns per frame,
// floor_step_ns per sub-sample, ratio = TORVEN time / floor time, and
// ratio_fastest, the same for the fastest block of each (what load cannot
// inflate). --plugin=PATH loads another build of the plug-in.

#include "bench/torven/floor_bench.h"

#include <benchmark/benchmark.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "WDL/besselfilter.h"
#include "tools/vsthost.h"

namespace {

constexpr double kFs = 44100.0;
constexpr int kBlock = 512;
constexpr int kSignalBlocks = 16;
constexpr int kJumpBlocks = 8;  // 8 * 512 frames: 93 ms
constexpr int kSettleBlocks = 10 * static_cast<int>(kFs) / kBlock;  // 10 s
constexpr int kOrder = WDL_BesselFilterCoeffs::kOrder;

struct Rng
{
  std::uint32_t seed;
  double Next()  // -1 .. 1
  {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<double>(seed) / 2147483648.0 - 1.0;
  }
};

// The flush of both recursions' values, lane by lane (WDL_BesselFlush): a
// branch, so the usual path adds no latency to the chain; a lane that is +0
// already needs none (in silence every value is).
inline __m128d Flush2(__m128d acc)
{
  const __m128i bits = _mm_castpd_si128(acc);
  const __m128i e = _mm_and_si128(_mm_add_epi32(bits, _mm_set_epi32(0x00100000, 0, 0x00100000, 0)),
                                  _mm_set_epi32(0x7FE00000, 0, 0x7FE00000, 0));
  const __m128i tiny = _mm_cmplt_epi32(e, _mm_set1_epi32(0x3CA00000));
  const __m128i zeroWords = _mm_cmpeq_epi32(bits, _mm_setzero_si128());
  const __m128i zero = _mm_and_si128(zeroWords, _mm_shuffle_epi32(zeroWords, 0xB1));
  if (_mm_movemask_pd(_mm_castsi128_pd(_mm_andnot_si128(zero, tiny))) != 0)
    acc = _mm_andnot_pd(_mm_castsi128_pd(_mm_shuffle_epi32(tiny, 0xF5)), acc);
  return acc;
}

// The floor without AVX2: both stages of both channels in the two lanes of an
// SSE2 register (lane 0 left). Each stage's history runs in a linear buffer,
// oldest first, so nothing is shifted.
class Sse2Floor
{
public:
  explicit Sse2Floor(const WDL_BesselFilterCoeffs& c)
  {
    mGain = _mm_set1_pd(c.gain);
    for (int k = 0; k < kOrder; ++k) mC[k] = _mm_set1_pd(c.c[k]);
    for (int k = 0; k < kOrder; ++k) mU[k] = mD[k] = _mm_setzero_pd();
  }

  template <int N, typename T>
  void Run(const T* in0, const T* in1, T* out0, T* out1, int frames)
  {
    for (int n = 0; n < frames; ++n)
    {
      if (mPos == kLength - kOrder)
      {
        for (int k = 0; k < kOrder; ++k)
        {
          mU[k] = mU[mPos + k];
          mD[k] = mD[mPos + k];
        }
        mPos = 0;
      }
      __m128d* u = mU + mPos;
      __m128d* d = mD + mPos;
      mPos += N;
      const __m128d x = _mm_set_pd(static_cast<double>(in1[n]), static_cast<double>(in0[n]));
      const __m128d out = Step(d, Step(u, x));
#pragma GCC unroll 16
      for (int i = 1; i < N; ++i) Step(d + i, Step(u + i, _mm_setzero_pd()));
      out0[n] = static_cast<T>(_mm_cvtsd_f64(out));
      out1[n] = static_cast<T>(_mm_cvtsd_f64(_mm_unpackhi_pd(out, out)));
    }
  }

private:
  // gain * x, then c0 * the newest, ..., c9 * the oldest, then the flush.
  __m128d Step(__m128d* h, __m128d x) const
  {
    __m128d acc = _mm_mul_pd(mGain, x);
    for (int k = 0; k < kOrder; ++k) acc = _mm_add_pd(acc, _mm_mul_pd(mC[k], h[kOrder - 1 - k]));
    h[kOrder] = acc = Flush2(acc);
    return acc;
  }

  static constexpr int kLength = kOrder + 256;

  __m128d mGain;
  __m128d mC[kOrder];
  __m128d mU[kLength], mD[kLength];
  int mPos = 0;
};

// The floor with AVX2: the four recursions in the four lanes of one register
// (up left, up right, down left, down right), the down stage two sub-samples
// behind the up stage, so one step of instructions advances all four and the
// hand-over from up to down stays off the chain; histories in registers.
// This is the fastest form of the recursions found (about a quarter faster
// than the SSE2 one here).
class Avx2Floor
{
public:
  __attribute__((target("avx2"))) explicit Avx2Floor(const WDL_BesselFilterCoeffs& c)
  {
    mGain = _mm256_set1_pd(c.gain);
    for (int k = 0; k < kOrder; ++k) mC[k] = _mm256_set1_pd(c.c[k]);
    for (int k = 0; k < kOrder; ++k) mY[k] = _mm256_setzero_pd();
    mQ[0] = mQ[1] = _mm_setzero_pd();
  }

  // Up sub-sample j and down sub-sample j - 2 per step; the down stage's
  // output for frame n comes two steps into the next frame's steps, so the
  // outputs lag by a frame (the floor keeps no canonical state).
  template <int N, typename T>
  __attribute__((target("avx2"))) void Run(const T* in0, const T* in1, T* out0, T* out1, int frames)
  {
    __m256d y[kOrder];
    for (int k = 0; k < kOrder; ++k) y[k] = mY[k];
    __m128d q0 = mQ[0], q1 = mQ[1];
    for (int n = 0; n < frames; ++n)
    {
      const __m128d x = _mm_set_pd(static_cast<double>(in1[n]), static_cast<double>(in0[n]));
      __m128d out = _mm_setzero_pd();
#pragma GCC unroll 16
      for (int i = 0; i < N; ++i)
      {
        __m256d acc = _mm256_mul_pd(mGain, _mm256_set_m128d(q0, i == 0 ? x : _mm_setzero_pd()));
        for (int k = 0; k < kOrder; ++k) acc = _mm256_add_pd(acc, _mm256_mul_pd(mC[k], y[k]));
        const __m256i bits = _mm256_castpd_si256(acc);
        const __m256i e = _mm256_and_si256(_mm256_add_epi64(bits, _mm256_set1_epi64x(0x0010000000000000LL)),
                                           _mm256_set1_epi64x(0x7FE0000000000000LL));
        const __m256i tiny = _mm256_sub_epi64(e, _mm256_set1_epi64x(0x3CA0000000000000LL));  // sign: tiny
        const __m256i zero = _mm256_cmpeq_epi64(bits, _mm256_setzero_si256());
        if (_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_andnot_si256(zero, tiny))) != 0)
          acc = _mm256_blendv_pd(acc, _mm256_setzero_pd(), _mm256_castsi256_pd(tiny));
        for (int k = kOrder - 1; k > 0; --k) y[k] = y[k - 1];
        y[0] = acc;
        if (i == 2) out = _mm256_extractf128_pd(acc, 1);
        q0 = q1;
        q1 = _mm256_castpd256_pd128(acc);
      }
      out0[n] = static_cast<T>(_mm_cvtsd_f64(out));
      out1[n] = static_cast<T>(_mm_cvtsd_f64(_mm_unpackhi_pd(out, out)));
    }
    for (int k = 0; k < kOrder; ++k) mY[k] = y[k];
    mQ[0] = q0;
    mQ[1] = q1;
  }

private:
  __m256d mGain;
  __m256d mC[kOrder];
  __m256d mY[kOrder];
  __m128d mQ[2];
};

// The floor for one factor, in its fastest form on this CPU.
class Floor
{
public:
  explicit Floor(int factor) : mFactor(factor)
  {
    WDL_BesselFilterCoeffs c;
    c.Calc(0.2 / factor);
    mAvx2 = __builtin_cpu_supports("avx2") != 0;
    if (mAvx2) mFast = std::make_unique<Avx2Floor>(c);
    else mPlain = std::make_unique<Sse2Floor>(c);
  }

  template <typename T>
  void Process(const T* in0, const T* in1, T* out0, T* out1, int frames)
  {
    if (mAvx2)
    {
      if (mFactor == 16) mFast->Run<16>(in0, in1, out0, out1, frames);
      else mFast->Run<4>(in0, in1, out0, out1, frames);
    }
    else if (mFactor == 16) mPlain->Run<16>(in0, in1, out0, out1, frames);
    else mPlain->Run<4>(in0, in1, out0, out1, frames);
  }

private:
  int mFactor;
  bool mAvx2;
  std::unique_ptr<Avx2Floor> mFast;
  std::unique_ptr<Sse2Floor> mPlain;
};

enum ESignal
{
  kNoise,
  kTwoTone,
  kSilence  // after a second of full-scale noise
};

// kSignalBlocks blocks of one channel.
std::vector<double> MakeSignal(ESignal signal, int channel)
{
  std::vector<double> x(static_cast<size_t>(kBlock) * kSignalBlocks);
  Rng rng{12345u + static_cast<std::uint32_t>(channel)};
  for (size_t i = 0; i < x.size(); ++i)
  {
    const double t = static_cast<double>(i) / kFs;
    if (signal == kSilence) x[i] = 0.0;
    else if (signal == kNoise) x[i] = 0.25 * rng.Next();  // -12 dBFS peak
    else if (channel == 0) x[i] = 0.4 * std::sin(2.0 * M_PI * 220.0 * t) + 0.1 * std::sin(2.0 * M_PI * 3100.0 * t);
    else x[i] = 0.4 * std::sin(2.0 * M_PI * 330.0 * t) + 0.1 * std::sin(2.0 * M_PI * 5200.0 * t);
  }
  return x;
}

template <typename T>
struct Buffers
{
  std::vector<T> in[2], out[2];
  explicit Buffers(ESignal signal)
  {
    for (int c = 0; c < 2; ++c)
    {
      const std::vector<double> x = MakeSignal(signal, c);
      in[c].assign(x.begin(), x.end());
      out[c].assign(x.size(), T(0));
    }
  }
  T* In(int c, int b) { return in[c].data() + static_cast<size_t>(b) * kBlock; }
  T* Out(int c, int b) { return out[c].data() + static_cast<size_t>(b) * kBlock; }
};

// The six controls, normalised, at their settled positions (all off flat).
constexpr int kControls[6] = {0, 1, 2, 3, 4, 5};  // OUT HPF LPF GainH GainM GainL
constexpr float kSettled[6] = {0.45f, 0.2f, 0.7f, 0.7f, 0.4f, 0.6f};

double ThreadCpuNs()
{
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

template <typename T>
void BM_VersusFloor(benchmark::State& state, ESignal signal, bool moving)
{
  const int factor = static_cast<int>(state.range(0));
  std::string error;
  std::unique_ptr<vsthost::Plugin> plugin = vsthost::Plugin::Load(FloorPluginPath(), &error);
  if (!plugin)
  {
    state.SkipWithError(error.c_str());
    return;
  }
  plugin->recordCalls = false;
  plugin->Open();
  plugin->Setup(kFs, kBlock);
  AEffect* e = plugin->Effect();
  e->setParameter(e, 7, factor == 16 ? 1.0f : 0.0f);
  for (int i = 0; i < 6; ++i) e->setParameter(e, kControls[i], kSettled[i]);
  plugin->Resume();

  Buffers<T> torven(signal), floorBuf(signal);
  Floor floor(factor);
  auto runTorven = [&](int b) {
    T* ins[2] = {torven.In(0, b), torven.In(1, b)};
    T* outs[2] = {torven.Out(0, b), torven.Out(1, b)};
    if constexpr (sizeof(T) == sizeof(double)) e->processDoubleReplacing(e, ins, outs, kBlock);
    else e->processReplacing(e, ins, outs, kBlock);
  };
  auto runFloor = [&](int b) {
    floor.Process(floorBuf.In(0, b), floorBuf.In(1, b), floorBuf.Out(0, b), floorBuf.Out(1, b), kBlock);
  };
  Buffers<T> burst(kNoise);
  if (signal == kSilence)
    for (int c = 0; c < 2; ++c)
      for (auto& v : burst.in[c]) v *= 4;  // full scale
  for (int b = 0; b < kSettleBlocks; ++b)
  {
    // The silence case settles on full-scale noise: its timed blocks are the
    // silence after that burst.
    Buffers<T>& buf = signal != kSilence ? torven : burst;
    T* ins[2] = {buf.In(0, b % kSignalBlocks), buf.In(1, b % kSignalBlocks)};
    T* outs[2] = {buf.Out(0, b % kSignalBlocks), buf.Out(1, b % kSignalBlocks)};
    if constexpr (sizeof(T) == sizeof(double)) e->processDoubleReplacing(e, ins, outs, kBlock);
    else e->processReplacing(e, ins, outs, kBlock);
    // The floor goes through the same burst: from all-zero histories every
    // step would take the flush.
    floor.Process(ins[0], ins[1], outs[0], outs[1], kBlock);
  }

  Rng rng{777u};
  double ns[2] = {0.0, 0.0};
  double fastest[2] = {1e300, 1e300};
  int b = 0;
  long blocks = 0;
  for (auto _ : state)
  {
    if (moving && blocks % kJumpBlocks == 0)
      for (int i = 0; i < 6; ++i) e->setParameter(e, kControls[i], static_cast<float>(0.5 + 0.5 * rng.Next()));
    for (int k = 0; k < 2; ++k)
    {
      const bool torvenNow = ((b + k) % 2) == 0;  // alternate which goes first
      const double t0 = ThreadCpuNs();
      if (torvenNow) runTorven(b);
      else runFloor(b);
      const double t = ThreadCpuNs() - t0;
      ns[torvenNow ? 0 : 1] += t;
      fastest[torvenNow ? 0 : 1] = std::min(fastest[torvenNow ? 0 : 1], t);
    }
    b = (b + 1) % kSignalBlocks;
    ++blocks;
    benchmark::ClobberMemory();
  }

  const double frames = static_cast<double>(state.iterations()) * kBlock;
  state.counters["torven_ns"] = ns[0] / frames;
  state.counters["floor_ns"] = ns[1] / frames;
  state.counters["floor_step_ns"] = ns[1] / frames / factor;
  state.counters["ratio"] = ns[0] / ns[1];
  // The fastest block of each: what load from elsewhere cannot inflate.
  state.counters["ratio_fastest"] = fastest[0] / fastest[1];
}

struct Case
{
  std::string name;
  bool isFloat;
  ESignal signal;
  bool moving;
};

std::vector<Case>& Cases()
{
  static std::vector<Case> cases;
  return cases;
}

}  // namespace

std::string& FloorPluginPath()
{
  static std::string path = TORVEN_SO;
  return path;
}

void RegisterFloorBenchmarks()
{
  for (bool isFloat : {true, false})
    for (ESignal signal : {kNoise, kTwoTone, kSilence})
      for (bool moving : {false, true})
      {
        const char* signalName = signal == kNoise ? "/noise" : signal == kTwoTone ? "/two-tone" : "/silence";
        const std::string name = std::string("VersusFloor/") + (isFloat ? "processReplacing" : "processDoubleReplacing") +
                                 signalName + (moving ? "/moving" : "/settled");
        Cases().push_back({name, isFloat, signal, moving});
        benchmark::internal::Benchmark* bm =
            isFloat ? benchmark::RegisterBenchmark(name.c_str(), BM_VersusFloor<float>, signal, moving)
                    : benchmark::RegisterBenchmark(name.c_str(), BM_VersusFloor<double>, signal, moving);
        bm->Arg(4)->Arg(16)->MinTime(1.0)->Unit(benchmark::kMicrosecond);
      }
}

void FloorReporter::ReportRuns(const std::vector<Run>& reports)
{
  ConsoleReporter::ReportRuns(reports);
  for (const Run& r : reports)
  {
    if (r.error_occurred) continue;
    const bool median = r.run_type == Run::RT_Aggregate && r.aggregate_name == "median";
    if (r.run_type == Run::RT_Aggregate && !median) continue;
    const std::string name = r.run_name.function_name + "/" + r.run_name.args;
    auto ratio = r.counters.find("ratio");
    if (ratio == r.counters.end()) continue;
    if (!median && mFromMedian.count(name)) continue;
    if (median) mFromMedian[name] = true;
    mRatio[name] = ratio->second.value;
  }
}

void FloorReporter::PrintTable() const
{
  if (mRatio.empty()) return;
  std::printf("\nTORVEN / floor (CPU time per block, one run), 44.1 kHz, blocks of %d\n", kBlock);
  std::printf("%-50s %8s %8s\n", "case", "N=4", "N=16");
  for (const Case& c : Cases())
  {
    auto n4 = mRatio.find(c.name + "/4"), n16 = mRatio.find(c.name + "/16");
    if (n4 == mRatio.end() && n16 == mRatio.end()) continue;
    std::printf("%-50s", c.name.c_str() + 12);
    for (auto it : {n4, n16})
      if (it == mRatio.end()) std::printf(" %8s", "-");
      else std::printf(" %8.2f", it->second);
    std::printf("\n");
  }
}
