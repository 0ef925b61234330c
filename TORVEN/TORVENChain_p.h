// The per-block machinery of TORVEN's processing chain (private to
// TORVEN.cpp): both channels in the lanes of vector registers, and the
// oversampled saturation path in three forms with one interface (SSE2 lanes,
// AVX2 lanes, and the plain path for any factor). Every form does, per lane,
// exactly the operations of the plain per-channel code, so all give the same
// bits; the tests hold them equal.
//
// A saturation kernel serves one block. It takes the four stage histories at
// construction, then runs:
//     Start(x[0]); for n < last: s[n] = Frame(x[n + 1]); s[last] = LastFrame();
//     Finish(...)
// x[n] is frame n's scaled input (left in lane 0), s[n] the path's output for
// frame n. Frame is given the next frame's input because the AVX2 form runs
// the up stage ahead of the down stage.
#ifndef TORVEN_TORVENCHAIN_P_H_
#define TORVEN_TORVENCHAIN_P_H_

#include <cstring>

#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "Coeffs/saturation.h"
#include "WDL/besselfilter.h"

#define TORVEN_INLINE inline __attribute__((always_inline))
// No always_inline here: these are inlined by the flattened AVX2 entry point
// (a forced inline into the target-neutral frame template would be refused).
#define TORVEN_AVX2 __attribute__((target("avx2"))) inline

namespace torven_chain {

// Two doubles, left channel in lane 0.
typedef double Lanes2 __attribute__((vector_size(16)));

TORVEN_INLINE Lanes2 MakeLanes(double left, double right)
{
  return Lanes2{left, right};
}

// Two frames of both channels: one frame's in lanes 0 and 1, the next one's
// in 2 and 3. With AVX2 one register; with SSE2 alone it compiles to pairs of
// two-lane operations.
typedef double Lanes4 __attribute__((vector_size(32)));

// This is always inlined, so the note that passing 32-byte vectors by value
// changes the calling convention without AVX does not apply.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpsabi"
template <int kHalf>
TORVEN_INLINE Lanes2 Half(Lanes4 v)
{
  return __builtin_shufflevector(v, v, 2 * kHalf, 2 * kHalf + 1);
}
#pragma GCC diagnostic pop

constexpr int kOrder = WDL_BesselFilterCoeffs::kOrder;

// The path's input limit (detail::LimitPathInput) per lane.
TORVEN_INLINE Lanes2 LimitPathInput(Lanes2 x)
{
  return MakeLanes(detail::LimitPathInput(x[0]), detail::LimitPathInput(x[1]));
}

// Any factor on the plain single-channel path, straight on the stages; a
// factor below 1 runs nothing and keeps the previous outputs.
class AnyFactorSaturation
{
public:
  AnyFactorSaturation(int factor, const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR,
                      BesselStage& upL, BesselStage& downL, BesselStage& upR, BesselStage& downR,
                      const double (&previous)[2])
    : mFactor(factor), mCL(cL), mCR(cR), mUpL(upL), mDownL(downL), mUpR(upR), mDownR(downR),
      mOut{previous[0], previous[1]}
  {
  }
  void Start(Lanes2 x0) { mX = x0; }
  Lanes2 Frame(Lanes2 next)
  {
    const Lanes2 out = LastFrame();
    mX = next;
    return out;
  }
  Lanes2 LastFrame()
  {
    SaturationPath(mX[0], mFactor, mCL, mUpL, mDownL, mOut[0]);
    SaturationPath(mX[1], mFactor, mCR, mUpR, mDownR, mOut[1]);
    return MakeLanes(mOut[0], mOut[1]);
  }
  void Finish(BesselStage&, BesselStage&, BesselStage&, BesselStage&) const {}

private:
  int mFactor;
  const WDL_BesselFilterCoeffs& mCL;
  const WDL_BesselFilterCoeffs& mCR;
  BesselStage& mUpL;
  BesselStage& mDownL;
  BesselStage& mUpR;
  BesselStage& mDownR;
  double mOut[2];
  Lanes2 mX{};
};

#if defined(__SSE2__)

// The shaper curve as pairs (T[i], T[i + 1]) widened to double (exactly, as
// the lookup widens each value), so one load fetches both neighbours. The
// curve for negative inputs is the exact negation of this one, and negation
// commutes with every rounding here, so it is never looked up: the result
// takes the input's sign instead. Entry 199, reached only with a fraction of
// 0, holds the end value twice.
struct alignas(16) ShaperPairs
{
  double v[200][2];
};

constexpr ShaperPairs MakeShaperPairs()
{
  ShaperPairs p{};
  for (int i = 0; i < 200; ++i)
  {
    p.v[i][0] = static_cast<double>(zuz553a_table.values[i]);
    p.v[i][1] = static_cast<double>(zuz553a_table.values[i < 199 ? i + 1 : 199]);
  }
  return p;
}

inline constexpr ShaperPairs kShaperPairs = MakeShaperPairs();

// zuz553a_shape of N * u, per lane. N is a power of two, so |N * u| * 142.143
// is |u| * (N * 142.143) exactly: both round the same product (N * u and
// N * 142.143 are exact, and where N * u overflows so does the other form).
// m is clamped to 199 before the index is taken, so every magnitude from 199
// steps on lands on entry 199 with a fraction of 0: (1 - 0) * end + 0 * end
// is the end value exactly. 2^31 steps or more, and NaN, give 0. The
// interpolation of non-negative values is a non-negative number, so the sign
// (that of N * u, so of u) is a plain OR.
template <int N>
constexpr double kShapeScale = N * 142.14300537109375;

template <int N>
TORVEN_INLINE __m128d Shape(__m128d u)
{
  static_assert(N > 0 && (N & (N - 1)) == 0, "N * u must be exact");
  const __m128d signBit = _mm_set1_pd(-0.0);
  const __m128d m = _mm_mul_pd(_mm_andnot_pd(signBit, u), _mm_set1_pd(kShapeScale<N>));
  const __m128d inRange = _mm_cmplt_pd(m, _mm_set1_pd(2147483648.0));
  const __m128d mc = _mm_min_pd(m, _mm_set1_pd(199.0));  // NaN gives 199, masked below
  const __m128i i = _mm_cvttpd_epi32(mc);
  const __m128d f = _mm_sub_pd(mc, _mm_cvtepi32_pd(i));
  // Byte offsets of the pairs (i is 0 .. 199), unsigned so they need no
  // sign extension.
  const __m128i offset = _mm_slli_epi32(i, 4);
  const char* pairs = reinterpret_cast<const char*>(kShaperPairs.v);
  const __m128d pL = _mm_load_pd(reinterpret_cast<const double*>(
      pairs + static_cast<unsigned>(_mm_cvtsi128_si32(offset))));
  const __m128d pR = _mm_load_pd(reinterpret_cast<const double*>(
      pairs + static_cast<unsigned>(_mm_cvtsi128_si32(_mm_shuffle_epi32(offset, 1)))));
  const __m128d t0 = _mm_unpacklo_pd(pL, pR);
  const __m128d t1 = _mm_unpackhi_pd(pL, pR);
  const __m128d r = _mm_add_pd(_mm_mul_pd(_mm_sub_pd(_mm_set1_pd(1.0), f), t0), _mm_mul_pd(f, t1));
  return _mm_or_pd(_mm_and_pd(inRange, r), _mm_and_pd(signBit, u));
}

// The same for two sub-samples of both channels in the four lanes of an AVX2
// register, lane for lane the same operations.
template <int N>
TORVEN_AVX2 __m256d Shape4(__m256d u)
{
  static_assert(N > 0 && (N & (N - 1)) == 0, "N * u must be exact");
  const __m256d signBit = _mm256_set1_pd(-0.0);
  const __m256d m = _mm256_mul_pd(_mm256_andnot_pd(signBit, u), _mm256_set1_pd(kShapeScale<N>));
  const __m256d inRange = _mm256_cmp_pd(m, _mm256_set1_pd(2147483648.0), _CMP_LT_OS);
  const __m256d mc = _mm256_min_pd(m, _mm256_set1_pd(199.0));
  const __m128i i = _mm256_cvttpd_epi32(mc);
  const __m256d f = _mm256_sub_pd(mc, _mm256_cvtepi32_pd(i));
  const __m128i offset = _mm_slli_epi32(i, 4);
  const char* pairs = reinterpret_cast<const char*>(kShaperPairs.v);
  auto pair = [pairs](int o) __attribute__((always_inline)) {
    return _mm_load_pd(reinterpret_cast<const double*>(pairs + static_cast<unsigned>(o)));
  };
  // (T[i0], T[i0 + 1], T[i2], T[i2 + 1]) and the same for lanes 1 and 3.
  const __m256d p02 = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(_mm_cvtsi128_si32(offset))),
                                           pair(_mm_extract_epi32(offset, 2)), 1);
  const __m256d p13 = _mm256_insertf128_pd(_mm256_castpd128_pd256(pair(_mm_extract_epi32(offset, 1))),
                                           pair(_mm_extract_epi32(offset, 3)), 1);
  const __m256d t0 = _mm256_unpacklo_pd(p02, p13);
  const __m256d t1 = _mm256_unpackhi_pd(p02, p13);
  const __m256d r =
      _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(_mm256_set1_pd(1.0), f), t0), _mm256_mul_pd(f, t1));
  return _mm256_or_pd(_mm256_and_pd(inRange, r), _mm256_and_pd(signBit, u));
}

// WDL_BesselFlush per lane: zero when ((upper word + 0x00100000) AND
// 0x7FE00000) is below 0x3CA00000. The rare flush is a branch, so the usual
// path adds no latency to the recursion. A lane that is +0 already needs no
// flush: in silence every value is, and the branch stays untaken.
TORVEN_INLINE __m128d Flush(__m128d v)
{
  const __m128i bits = _mm_castpd_si128(v);
  const __m128i e = _mm_and_si128(_mm_add_epi32(bits, _mm_set_epi32(0x00100000, 0, 0x00100000, 0)),
                                  _mm_set_epi32(0x7FE00000, 0, 0x7FE00000, 0));
  const __m128i tiny = _mm_cmplt_epi32(e, _mm_set1_epi32(0x3CA00000));
  const __m128i zeroWords = _mm_cmpeq_epi32(bits, _mm_setzero_si128());
  const __m128i zero = _mm_and_si128(zeroWords, _mm_shuffle_epi32(zeroWords, 0xB1));
  if (__builtin_expect(_mm_movemask_pd(_mm_castsi128_pd(_mm_andnot_si128(zero, tiny))) == 0, 1)) return v;
  // Spread each upper word's verdict over its whole lane.
  return _mm_andnot_pd(_mm_castsi128_pd(_mm_shuffle_epi32(tiny, 0xF5)), v);
}

// One stage step of both channels: h[0 .. 9] is the history, oldest first;
// the output goes to h[10]. Same order as BesselStage::Step: gain * x, then
// c0 * the newest, ..., c9 * the oldest, then the flush.
TORVEN_INLINE __m128d Step(const __m128d (&c)[kOrder + 1], __m128d* h, __m128d x)
{
  __m128d acc = _mm_mul_pd(c[0], x);
  for (int k = 0; k < kOrder; ++k) acc = _mm_add_pd(acc, _mm_mul_pd(c[k + 1], h[kOrder - 1 - k]));
  acc = Flush(acc);
  h[kOrder] = acc;
  return acc;
}

// Gain, then c0 .. c9, left in lane 0.
TORVEN_INLINE void LoadCoeffs(const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR,
                              __m128d (&c)[kOrder + 1])
{
  c[0] = _mm_set_pd(cR.gain, cL.gain);
  for (int k = 0; k < kOrder; ++k) c[k + 1] = _mm_set_pd(cR.c[k], cL.c[k]);
}

// The saturation path of both channels for a fixed factor N in the two lanes
// of an SSE2 register. Each stage's history runs in a linear buffer, oldest
// first, that grows by one value per sub-sample, so nothing is shifted; every
// kChunk frames its last ten values move back to the front.
template <int N>
class Sse2Saturation
{
public:
  Sse2Saturation(const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR, const BesselStage& upL,
                 const BesselStage& downL, const BesselStage& upR, const BesselStage& downR)
  {
    LoadCoeffs(cL, cR, mC);
    for (int k = 0; k < kOrder; ++k)
    {
      mU[kOrder - 1 - k] = _mm_set_pd(upR.y[k], upL.y[k]);
      mD[kOrder - 1 - k] = _mm_set_pd(downR.y[k], downL.y[k]);
    }
  }

  TORVEN_INLINE void Start(Lanes2 x0) { mX = (__m128d)x0; }

  TORVEN_INLINE Lanes2 Frame(Lanes2 next)
  {
    const Lanes2 out = LastFrame();
    mX = (__m128d)next;
    return out;
  }

  TORVEN_INLINE Lanes2 LastFrame()
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
    // Zero stuffing, the level restored by N at the shaper, decimation
    // keeping the first sub-sample.
    const __m128d out = Step(mC, d, Shape<N>(Step(mC, u, mX)));
    for (int i = 1; i < N; ++i) Step(mC, d + i, Shape<N>(Step(mC, u + i, _mm_setzero_pd())));
    return (Lanes2)out;
  }

  void Finish(BesselStage& upL, BesselStage& downL, BesselStage& upR, BesselStage& downR) const
  {
    for (int k = 0; k < kOrder; ++k)
    {
      const __m128d un = mU[mPos + kOrder - 1 - k], dn = mD[mPos + kOrder - 1 - k];
      _mm_storel_pd(&upL.y[k], un);
      _mm_storeh_pd(&upR.y[k], un);
      _mm_storel_pd(&downL.y[k], dn);
      _mm_storeh_pd(&downR.y[k], dn);
    }
  }

private:
  static constexpr int kChunk = 256 / N;  // frames between moves
  static constexpr int kLength = kOrder + kChunk * N;

  __m128d mC[kOrder + 1];
  __m128d mU[kLength], mD[kLength];
  __m128d mX = _mm_setzero_pd();
  int mPos = 0;  // start of the current history in mU and mD
};

// The saturation path of both channels for a fixed factor N in the four lanes
// of an AVX2 register: lanes 0 and 1 run the up stage (left, right), lanes 2
// and 3 the down stage, kLag sub-samples behind it, so one step of
// instructions advances all four recursions. The shaper takes the up stage's
// outputs two sub-samples at a time, in four lanes; the down stage takes a
// pair's values two and three steps after the pair is complete, which keeps
// the shaper's latency out of the recursions' chain. The histories stay in
// registers, newest first.
//
// Frame n's steps i = 0 .. N-1 are up sub-sample n*N + kLag + i and down
// sub-sample n*N + i: the down stage's first step gives frame n's output, and
// the up stage takes frame n + 1's input at step N - kLag. Start runs the
// first kLag up sub-samples alone; LastFrame ends the up stage after step
// N - kLag - 1 (before its first step when kLag is N; the later up lanes are
// discarded) while the down stage catches up.
template <int N>
class Avx2Saturation
{
public:
  static constexpr int kLag = 4;
  // Even, so that the shaper's pairs are steps 2j and 2j + 1 of a frame.
  static_assert(kLag % 2 == 0 && kLag >= 2 && kLag <= N && N % 2 == 0, "pairs of sub-samples");

  // eager: flush without a branch, for a block that will flush often (in
  // the silence after a burst the stages circle near the flush threshold
  // and flush at random, where every branch would be mispredicted).
  TORVEN_AVX2 Avx2Saturation(const WDL_BesselFilterCoeffs& cL, const WDL_BesselFilterCoeffs& cR,
                             const BesselStage& upL, const BesselStage& downL, const BesselStage& upR,
                             const BesselStage& downR, bool eager)
    : mUpL(upL), mUpR(upR), mDownL(downL), mDownR(downR), mEager(eager && cL.c[0] > 0.0 && cR.c[0] > 0.0)
  {
    mGain = _mm256_setr_pd(cL.gain, cR.gain, cL.gain, cR.gain);
    for (int k = 0; k < kOrder; ++k) mC[k] = _mm256_setr_pd(cL.c[k], cR.c[k], cL.c[k], cR.c[k]);
    LoadCoeffs(cL, cR, mC2);
  }

  TORVEN_AVX2 void Start(Lanes2 x0)
  {
    // The first kLag up sub-samples on the up stage alone, oldest first.
    __m128d u[kOrder + kLag];
    for (int k = 0; k < kOrder; ++k) u[kOrder - 1 - k] = _mm_set_pd(mUpR.y[k], mUpL.y[k]);
    __m128d s[kLag];
    for (int i = 0; i < kLag; ++i) s[i] = Shape<N>(Step(mC2, u + i, i == 0 ? (__m128d)x0 : _mm_setzero_pd()));
    for (int j = 0; j < kPairs; ++j) mQueue[j] = _mm256_set_m128d(s[2 * j + 1], s[2 * j]);
    for (int k = 0; k < kOrder; ++k)
      mY[k] = _mm256_set_m128d(_mm_set_pd(mDownR.y[k], mDownL.y[k]), u[kOrder + kLag - 1 - k]);
  }

  TORVEN_AVX2 Lanes2 Frame(Lanes2 next)
  {
    return mEager ? Run<false, true>((__m128d)next) : Run<false, false>((__m128d)next);
  }
  TORVEN_AVX2 Lanes2 LastFrame()
  {
    return mEager ? Run<true, true>(_mm_setzero_pd()) : Run<true, false>(_mm_setzero_pd());
  }
  // Steps of this block in which a lane was flushed.
  int FlushedSteps() const { return mFlushedSteps; }

  TORVEN_AVX2 void Finish(BesselStage& upL, BesselStage& downL, BesselStage& upR, BesselStage& downR) const
  {
    for (int k = 0; k < kOrder; ++k)
    {
      const __m128d dn = _mm256_extractf128_pd(mY[k], 1);
      _mm_storel_pd(&upL.y[k], mUpEnd[k]);
      _mm_storeh_pd(&upR.y[k], mUpEnd[k]);
      _mm_storel_pd(&downL.y[k], dn);
      _mm_storeh_pd(&downR.y[k], dn);
    }
  }

private:
  static constexpr int kPairs = kLag / 2;

  template <bool kLast, bool kEager>
  TORVEN_AVX2 Lanes2 Run(__m128d next)
  {
    __m256d y[kOrder];
    for (int k = 0; k < kOrder; ++k) y[k] = mY[k];
    __m256d q[kPairs];
    for (int j = 0; j < kPairs; ++j) q[j] = mQueue[j];
    if (kLast && kLag == N)
      for (int k = 0; k < kOrder; ++k) mUpEnd[k] = _mm256_castpd256_pd128(y[k]);
    // gain * the down stage's inputs of this pair of steps. The up lanes'
    // gain * 0 is +0 (the gain is finite and positive).
    __m256d gq = _mm256_mul_pd(mGain, q[0]);
    __m256d firstOfPair = _mm256_setzero_pd();
    __m128d out = _mm_setzero_pd();
    // Eager flush: the newest value before its flush and the lanes it flushes.
    __m256d raw = y[0], flushed = _mm256_setzero_pd();
#pragma GCC unroll 16
    for (int i = 0; i < N; ++i)
    {
      // gain * (up input, down input): the down input in the upper lanes, +0 in the lower ones.
      __m256d acc = _mm256_permute2f128_pd(gq, gq, i % 2 == 0 ? 0x08 : 0x18);
      if (!kLast && i == N - kLag) acc = _mm256_insertf128_pd(acc, _mm_mul_pd(_mm256_castpd256_pd128(mGain), next), 0);
      // c0 * flush(raw) is c0 * raw with the flushed lanes +0 (c0 > 0), so
      // the multiply need not wait for the flush.
      if constexpr (kEager) acc = _mm256_add_pd(acc, _mm256_andnot_pd(flushed, _mm256_mul_pd(mC[0], raw)));
      else acc = _mm256_add_pd(acc, _mm256_mul_pd(mC[0], y[0]));
      for (int k = 1; k < kOrder; ++k) acc = _mm256_add_pd(acc, _mm256_mul_pd(mC[k], y[k]));
      if constexpr (kEager)
      {
        raw = acc;
        flushed = FlushLanes(acc);
        acc = _mm256_andnot_pd(flushed, acc);
        // Counted as the branch would count them: lanes already +0 need none.
        const __m256d zero = _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_castpd_si256(raw), _mm256_setzero_si256()));
        mFlushedSteps += _mm256_movemask_pd(_mm256_andnot_pd(zero, flushed)) != 0;
      }
      else
        acc = Flush4(acc);
      for (int k = kOrder - 1; k > 0; --k) y[k] = y[k - 1];
      y[0] = acc;
      if (i == 0) out = _mm256_extractf128_pd(acc, 1);
      if (kLast && kLag < N && i == N - kLag - 1)
        for (int k = 0; k < kOrder; ++k) mUpEnd[k] = _mm256_castpd256_pd128(y[k]);
      if (i % 2 == 0)
        firstOfPair = acc;
      else
      {
        // The pair of up outputs to the shaper, to the back of the queue.
        for (int j = 0; j + 1 < kPairs; ++j) q[j] = q[j + 1];
        q[kPairs - 1] = Shape4<N>(_mm256_insertf128_pd(firstOfPair, _mm256_castpd256_pd128(acc), 1));
        gq = _mm256_mul_pd(mGain, q[0]);
      }
    }
    for (int k = 0; k < kOrder; ++k) mY[k] = y[k];
    for (int j = 0; j < kPairs; ++j) mQueue[j] = q[j];
    return (Lanes2)out;
  }

  // All-ones in the lanes the flush zeroes (+0 lanes included: no matter).
  static TORVEN_AVX2 __m256d FlushLanes(__m256d v)
  {
    const __m256i e = _mm256_and_si256(_mm256_add_epi64(_mm256_castpd_si256(v), _mm256_set1_epi64x(0x0010000000000000LL)),
                                       _mm256_set1_epi64x(0x7FE0000000000000LL));
    return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_set1_epi64x(0x3CA0000000000000LL), e));
  }

  // Flush per lane, as above, on whole 64-bit lanes: adding 0x00100000 to
  // the upper word cannot carry in from the lower one (its addend is 0).
  TORVEN_AVX2 __m256d Flush4(__m256d v)
  {
    const __m256i bits = _mm256_castpd_si256(v);
    const __m256i e = _mm256_and_si256(_mm256_add_epi64(bits, _mm256_set1_epi64x(0x0010000000000000LL)),
                                       _mm256_set1_epi64x(0x7FE0000000000000LL));
    // e - 0x3CA0000000000000 is negative exactly where e is below it (both
    // lie in 0 .. 2^63): its sign bits are the verdicts.
    const __m256i tiny = _mm256_sub_epi64(e, _mm256_set1_epi64x(0x3CA0000000000000LL));
    const __m256i zero = _mm256_cmpeq_epi64(bits, _mm256_setzero_si256());
    if (__builtin_expect(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_andnot_si256(zero, tiny))) == 0, 1))
      return v;
    ++mFlushedSteps;
    return _mm256_blendv_pd(v, _mm256_setzero_pd(), _mm256_castsi256_pd(tiny));
  }

  const BesselStage& mUpL;
  const BesselStage& mUpR;
  const BesselStage& mDownL;
  const BesselStage& mDownR;
  __m256d mGain;
  __m256d mC[kOrder];
  __m128d mC2[kOrder + 1];
  __m256d mY[kOrder];         // histories, newest first
  __m256d mQueue[kPairs];     // shaper outputs waiting for the down stage, in pairs, oldest first
  __m128d mUpEnd[kOrder];     // the up stage's history at the end of the block
  bool mEager;
  int mFlushedSteps = 0;
};

#endif  // __SSE2__

}  // namespace torven_chain

#endif  // TORVEN_TORVENCHAIN_P_H_
