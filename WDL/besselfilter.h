#pragma once

// 10th-order Bessel low-pass: design and stage step.
//
// WDL_BesselFilterCoeffs::Calc maps the analogue Bessel prototype (poles
// normalised to -3 dB at 1 rad/s) to the z plane by the matched z-transform
// and expands the all-pole denominator. The stage is all-pole:
//
//     y[n] = gain * x[n] + c0 * y[n-1] + c1 * y[n-2] + ... + c9 * y[n-10]
//
// gain makes the response exactly 1 at zero frequency.
//
// Design runs once per block (exponentials, sines, cosines); the stage step
// is eleven multiply-adds, a flush and a shift, with no allocation and no
// branches. Plain values: copy and use from any thread; a stage must only be
// stepped from one thread at a time.

#include <cmath>
#include <cstdint>
#include <cstring>

namespace detail
{
// Neumaier's compensated summation: the running error of each addition is
// carried along and added back at the end.
inline double BesselCompensatedSum(const double* v, int n)
{
    double sum = 0.0, comp = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const double t = sum + v[i];
        if (std::fabs(sum) >= std::fabs(v[i]))
            comp += (sum - t) + v[i];
        else
            comp += (v[i] - t) + sum;
        sum = t;
    }
    return sum + comp;
}
} // namespace detail

struct WDL_BesselFilterCoeffs
{
    struct Pole
    {
        double re, im;
    };

    // Analogue prototype poles, orders 1 to 10 in turn: per order one pole of
    // each conjugate pair plus the real pole of odd orders, by increasing
    // imaginary part. Only order 10 (the last five) is used.
    static constexpr int kNumPoles = 30;
    static constexpr Pole mPoles[kNumPoles] = {
        {-1.0, 0.0},                                    // order 1
        {-1.1016013305921617, 0.6360098247570345},      // order 2
        {-1.3226757999104448, 0.0},                     // order 3
        {-1.0474091610089353, 0.9992644362806375},
        {-1.3700678305514442, 0.41024971749375205},     // order 4
        {-0.9952087643502735, 1.257105739454666},
        {-1.502316271447479, 0.0},                      // order 5
        {-1.3808773258604397, 0.7179095876267685},
        {-0.9576765485626819, 1.471124320730395},
        {-1.5714904036160309, 0.32089637422262374},     // order 6
        {-1.3818580975965633, 0.9714718907115709},
        {-0.9306565229468586, 1.6618632689425905},
        {-1.6843681792731802, 0.0},                     // order 7
        {-1.6120387662261242, 0.5892445069314715},
        {-1.3789032167954738, 1.191566777800652},
        {-0.9098677806234697, 1.8364513530363928},
        {-1.757408400401643, 0.2728675751022312},       // order 8
        {-1.6369394181268797, 0.8227956251396953},
        {-1.3738412176373695, 1.3883565758775551},
        {-0.8928697188471322, 1.9983258436412952},
        {-1.8566005012280036, 0.0},                     // order 9
        {-1.8071705349621012, 0.512383730574904},
        {-1.652396484578835, 1.0313895669844106},
        {-1.3675883097929051, 1.5677337122372688},
        {-0.8783992761609525, 2.1498005243133216},
        {-1.927619691324482, 0.2416234709451774},       // order 10
        {-1.8421962445659017, 0.7272575977534836},
        {-1.6618102413500957, 1.221100218591516},
        {-1.3606922783857325, 1.73350574265843},
        {-0.8657569017089488, 2.2926048309837426},
    };
    static constexpr int kOrder = 10;

    double gain = 0.0;
    double c[kOrder] = {}; // feedback coefficients c0 .. c9

    // Cutoff at alpha times the rate at which the stage runs (alpha = cutoff /
    // rate). At small alpha the design is badly conditioned (alpha 0.0125:
    // gain ~9e-9, coefficients up to ~136), so everything stays in double.
    void Calc(double alpha)
    {
        const double w = alpha * 6.283185307179586;

        // A(z) = sum A[j] z^j, expanded one root at a time: A *= (z - p).
        double re[kOrder + 1] = {1.0};
        double im[kOrder + 1] = {0.0};
        const Pole* proto = mPoles + (kNumPoles - kOrder / 2);
        for (int k = 0; k < kOrder / 2; ++k)
        {
            const double r = std::exp(proto[k].re * w);
            const double theta = proto[k].im * w;
            const double pr = r * std::cos(theta);
            const double pis[2] = {r * std::sin(theta), r * std::sin(-theta)};
            for (double pi : pis)
            {
                const double nr = -pr, ni = -pi;
                for (int j = kOrder; j >= 1; --j)
                {
                    const double mr = nr * re[j] - ni * im[j];
                    const double mi = nr * im[j] + ni * re[j];
                    re[j] = re[j - 1] + mr;
                    im[j] = im[j - 1] + mi;
                }
                const double mr = nr * re[0] - ni * im[0];
                const double mi = nr * im[0] + ni * re[0];
                re[0] = mr;
                im[0] = mi;
            }
        }

        // gain = |A(1)|. The terms of A(1) alternate in sign and nearly cancel
        // (|A(1)| is ~1e-3 of the largest term at alpha 0.05, ~1e-10 at
        // 0.0125), so a plain running sum loses up to ~4e-7 of the result and
        // the zero-frequency gain drifts off 1 by far more than 1e-13. The
        // compensated sum is exact to the last bit here.
        gain = std::hypot(detail::BesselCompensatedSum(re, kOrder + 1),
                          detail::BesselCompensatedSum(im, kOrder + 1));

        // Imaginary parts are zero up to rounding (conjugate pairs) and dropped.
        for (int k = 0; k < kOrder; ++k)
            c[k] = -re[kOrder - 1 - k] / re[kOrder];
    }
};

// Zeroes every value of magnitude below 2^-54 (biased exponent below 969),
// subnormals included, and infinities and NaNs too: their exponent field
// wraps to 0 when 1 is added to it. Compares the upper word of the bit
// pattern, so it costs no floating-point compare and no branch.
inline double WDL_BesselFlush(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const std::uint32_t h = static_cast<std::uint32_t>(bits >> 32);
    return ((h + 0x00100000u) & 0x7FE00000u) < 0x3CA00000u ? 0.0 : v;
}

// One Bessel stage's history: its last ten outputs, y[0] the newest.
//
// Inputs must stay well inside the double range: a recursion that overflows
// has its infinity flushed to 0 amid huge values and can stay locked in that
// overflow cycle (with the saturation path's designs, inputs from about 1e308
// on). The saturation path limits its input for this reason.
struct BesselStage
{
    double y[WDL_BesselFilterCoeffs::kOrder] = {};

    void Reset()
    {
        for (double& v : y)
            v = 0.0;
    }

    // Step on a bare history array, so callers can run a stage on a local copy
    // held in registers. Accumulates in the order gain*x, c0*y1, ..., c9*y10.
    static double Step(double (&y)[WDL_BesselFilterCoeffs::kOrder],
                       const WDL_BesselFilterCoeffs& c, double x)
    {
        double acc = c.gain * x;
        acc += c.c[0] * y[0];
        acc += c.c[1] * y[1];
        acc += c.c[2] * y[2];
        acc += c.c[3] * y[3];
        acc += c.c[4] * y[4];
        acc += c.c[5] * y[5];
        acc += c.c[6] * y[6];
        acc += c.c[7] * y[7];
        acc += c.c[8] * y[8];
        acc += c.c[9] * y[9];
        acc = WDL_BesselFlush(acc);
        for (int k = WDL_BesselFilterCoeffs::kOrder - 1; k > 0; --k)
            y[k] = y[k - 1];
        y[0] = acc;
        return acc;
    }

    // Runs one sample through the stage and returns the output.
    double Process(const WDL_BesselFilterCoeffs& c, double x) { return Step(y, c, x); }
};
