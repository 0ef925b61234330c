#pragma once

// The oversampled saturation path of the channel strip: a table waveshaper
// run at N times the host rate between two 10th-order Bessel low-pass stages
// (cutoff 0.2 times the host rate: Calc(0.2 / N) once per block).
//
//     x --zero-stuff N--> [Bessel up] --*N--> shaper --> [Bessel down] --take 1 of N--> out
//
// Everything is per channel and per instance: no globals, no allocation, no
// locks. Bad input never sticks: the stage step flushes non-finite results to
// 0, the shaper maps non-finite and huge values to 0, and the path limits its
// input magnitude to 1e100 (see detail::LimitPathInput).

#include <cfloat>
#include <cmath>
#include <cstring>

#include "Coeffs/zuz553a_neg_table.h"
#include "Coeffs/zuz553a_table.h"
#include "WDL/besselfilter.h"

// Waveshaper: odd-symmetric, linear interpolation in the 200-value curve,
// constant 0.8333333 from the last table entry on (|v| >= ~1.4), and 0 for
// magnitudes of 2^31 table steps or more (about 1.51e7) and for NaN.
inline double zuz553a_shape(double v)
{
    const double kScale = 142.14300537109375; // 142.143005f widened
    const double kEnd = 0.8333333134651184;   // 0.833333313f widened, the last value

    const bool negative = std::signbit(v);
    const double m = std::fabs(v) * kScale;
    double r = 0.0;
    // Inputs at or beyond 2^31 steps (and NaN) count as out of range, as a
    // 32-bit truncating conversion would make them; the compare keeps the
    // conversion itself defined.
    if (m < 2147483648.0)
    {
        const int i = static_cast<int>(m);
        if (i >= 199)
            r = negative ? -kEnd : kEnd;
        else
        {
            const float* t = negative ? zuz553a_neg_table.values : zuz553a_table.values;
            const double f = m - i;
            r = (1.0 - f) * static_cast<double>(t[i]) + f * static_cast<double>(t[i + 1]);
        }
    }
    return std::copysign(std::fabs(r), v);
}

namespace detail
{
// A finite input near the top of the double range (from ~1e308 on) makes the
// up-sampling recursion overflow; the flush then drops the infinity in the
// middle of a history of huge values, which re-excites the filter instead of
// letting it decay, and the stage stays locked in that overflow cycle for
// good (the path then emits bursts of full-scale shaper output). Limiting the
// magnitude to 1e100 keeps every partial sum some 200 decades below overflow
// and changes nothing for any input below 1e100. NaN and infinities pass
// untouched: the stage flushes them.
inline double LimitPathInput(double x)
{
    const double kLimit = 1e100;
    const double m = std::fabs(x);
    return (m > kLimit && m <= DBL_MAX) ? std::copysign(kLimit, x) : x;
}
} // namespace detail

// One host-rate sample of one channel through the path, for a fixed factor N
// (4 and 16 are the ones in use). x is the already scaled input; up and down
// are the channel's two stages, c its coefficient set. The histories run in
// locals so they can stay in registers over the N sub-samples.
template <int N>
inline double SaturationPath(double x, const WDL_BesselFilterCoeffs& c, BesselStage& up, BesselStage& down)
{
    static_assert(N > 0, "oversampling factor must be positive");
    double u[WDL_BesselFilterCoeffs::kOrder], d[WDL_BesselFilterCoeffs::kOrder];
    std::memcpy(u, up.y, sizeof u);
    std::memcpy(d, down.y, sizeof d);

    // Zero stuffing loses a factor N in level; the shaper input gets it back.
    // Decimation keeps the first of the N sub-samples.
    const double first = BesselStage::Step(u, c, detail::LimitPathInput(x));
    const double out = BesselStage::Step(d, c, zuz553a_shape(double(N) * first));
    for (int i = 1; i < N; ++i)
        BesselStage::Step(d, c, zuz553a_shape(double(N) * BesselStage::Step(u, c, 0.0)));

    std::memcpy(up.y, u, sizeof u);
    std::memcpy(down.y, d, sizeof d);
    return out;
}

// Both channels at once, sub-sample by sub-sample (left up, right up, left
// shaper, right shaper, left down, right down). The channels do not interact,
// so the results equal two single-channel calls; interleaving lets the two
// dependency chains overlap.
template <int N>
inline void SaturationPathStereo(double xL, double xR,
                                 const WDL_BesselFilterCoeffs& cL, BesselStage& upL, BesselStage& downL,
                                 const WDL_BesselFilterCoeffs& cR, BesselStage& upR, BesselStage& downR,
                                 double& outL, double& outR)
{
    static_assert(N > 0, "oversampling factor must be positive");
    constexpr int K = WDL_BesselFilterCoeffs::kOrder;
    double uL[K], dL[K], uR[K], dR[K];
    std::memcpy(uL, upL.y, sizeof uL);
    std::memcpy(dL, downL.y, sizeof dL);
    std::memcpy(uR, upR.y, sizeof uR);
    std::memcpy(dR, downR.y, sizeof dR);
    xL = detail::LimitPathInput(xL);
    xR = detail::LimitPathInput(xR);

    for (int i = 0; i < N; ++i)
    {
        const double l = BesselStage::Step(uL, cL, i == 0 ? xL : 0.0);
        const double r = BesselStage::Step(uR, cR, i == 0 ? xR : 0.0);
        const double sl = zuz553a_shape(double(N) * l);
        const double sr = zuz553a_shape(double(N) * r);
        const double ol = BesselStage::Step(dL, cL, sl);
        const double orr = BesselStage::Step(dR, cR, sr);
        if (i == 0)
        {
            outL = ol;
            outR = orr;
        }
    }

    std::memcpy(upL.y, uL, sizeof uL);
    std::memcpy(downL.y, dL, sizeof dL);
    std::memcpy(upR.y, uR, sizeof uR);
    std::memcpy(downR.y, dR, sizeof dR);
}

// Any factor, chosen at run time: 4 and 16 take the fixed-count loops above.
// A factor below 1 runs nothing, returns false and leaves out untouched (the
// caller keeps its previous output).
inline bool SaturationPath(double x, int n, const WDL_BesselFilterCoeffs& c, BesselStage& up, BesselStage& down,
                           double& out)
{
    switch (n)
    {
    case 4:
        out = SaturationPath<4>(x, c, up, down);
        return true;
    case 16:
        out = SaturationPath<16>(x, c, up, down);
        return true;
    default:
        break;
    }
    if (n < 1)
        return false;
    x = detail::LimitPathInput(x);
    for (int i = 0; i < n; ++i)
    {
        const double d = down.Process(c, zuz553a_shape(double(n) * up.Process(c, i == 0 ? x : 0.0)));
        if (i == 0)
            out = d;
    }
    return true;
}
