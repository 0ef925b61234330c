// Bessel design and stage: the coefficient figures of both oversampling
// factors, unity gain at zero frequency, the attenuation of the stage (from
// the coefficients and by a sine through the stage) and the flush.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>

#include "WDL/besselfilter.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;

std::uint64_t Bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Agreement to n significant digits: within half a unit of the n-th digit.
testing::AssertionResult SigDigits(double got, double expected, int n)
{
    const double unit = std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - (n - 1));
    if (std::fabs(got - expected) <= 0.5 * unit)
        return testing::AssertionSuccess();
    return testing::AssertionFailure() << "got " << got << ", expected " << expected << " to " << n
                                       << " significant digits (tolerance " << 0.5 * unit << ")";
}

// Magnitude in dB of gain / (1 - sum c_k z^-(k+1)). Long double: at
// alpha 0.0125 the denominator is ~1e-8 against terms of ~100.
double StageDb(const WDL_BesselFilterCoeffs& c, double freq, double rate)
{
    using C = std::complex<long double>;
    const long double w = 2.0L * kPi * freq / rate;
    C den = 1.0L;
    for (int k = 0; k < 10; ++k)
        den -= (long double)c.c[k] * std::polar(1.0L, -w * (k + 1));
    return double(20.0L * std::log10((long double)c.gain / std::abs(den)));
}

// Gain at zero frequency, gain / (1 - sum c_k), with the sum made exactly:
// every partial sum is a multiple of the smallest coefficient's last-place
// unit and below 2^8 in magnitude, which fits long double's 64-bit mantissa
// for both factors.
long double DcGain(const WDL_BesselFilterCoeffs& c)
{
    long double den = 1.0L;
    for (int k = 0; k < 10; ++k)
        den -= c.c[k];
    return c.gain / den;
}

TEST(BesselDesign, FactorFour)
{
    WDL_BesselFilterCoeffs c;
    c.Calc(0.05);
    EXPECT_EQ(c.gain, 0.0015785202278916655) << "gain " << c.gain;
    const double expected[10] = {5.54170194951,  -14.2529739277, 22.3339436178,   -23.5490582589,  17.418271388,
                                 -9.13459784798, 3.34794379919,  -0.819474390544, 0.120799083793, -0.00813393342225};
    for (int k = 0; k < 10; ++k)
        EXPECT_TRUE(SigDigits(c.c[k], expected[k], 12)) << "c" << k;
}

TEST(BesselDesign, FactorSixteen)
{
    WDL_BesselFilterCoeffs c;
    c.Calc(0.0125);
    EXPECT_EQ(c.gain, 8.996891898150063e-09) << "gain " << c.gain;
    EXPECT_TRUE(SigDigits(c.c[0], 8.81266210968, 12));
    EXPECT_TRUE(SigDigits(c.c[9], -0.300313705954, 12));
    double largest = 0;
    for (double v : c.c)
        largest = std::max(largest, std::fabs(v));
    EXPECT_NEAR(largest, 136, 1) << "badly conditioned, but still this size";
}

TEST(BesselDesign, UnityGainAtZeroFrequency)
{
    for (double alpha : {0.05, 0.0125})
    {
        WDL_BesselFilterCoeffs c;
        c.Calc(alpha);
        EXPECT_NEAR(double(DcGain(c)), 1.0, 1e-13) << "alpha " << alpha;
    }
}

TEST(BesselDesign, PrototypeTable)
{
    // Orders 1 to 10 give 1, 1, 2, 2, ..., 5, 5 entries; the real pole of
    // each odd order comes first.
    int index = 0;
    for (int order = 1; order <= 10; ++order)
    {
        for (int k = 0; k < (order + 1) / 2; ++k, ++index)
        {
            const auto& p = WDL_BesselFilterCoeffs::mPoles[index];
            EXPECT_LT(p.re, 0.0) << "order " << order;
            EXPECT_EQ(p.im == 0.0, order % 2 == 1 && k == 0) << "order " << order << " entry " << k;
        }
    }
    EXPECT_EQ(index, WDL_BesselFilterCoeffs::kNumPoles);
    const auto& last = WDL_BesselFilterCoeffs::mPoles[29];
    EXPECT_EQ(last.re, -0.8657569017089488);
    EXPECT_EQ(last.im, 2.2926048309837426);
}

struct Attenuation
{
    double freq, dbN4, dbN16, tol;
};

// At a host rate of 44.1 kHz (stage at N times that, cutoff 0.2 / N).
const Attenuation kAttenuation[] = {
    {8820.0, -2.65, -2.99, 0.005},
    {22050.0, -20.2, -22.3, 0.05},
    {44100.0, -66.0, -75.0, 0.5},
};

TEST(BesselStage, AttenuationFromCoefficients)
{
    for (int n : {4, 16})
    {
        WDL_BesselFilterCoeffs c;
        c.Calc(0.2 / n);
        for (const Attenuation& a : kAttenuation)
        {
            const double expected = n == 4 ? a.dbN4 : a.dbN16;
            const double got = StageDb(c, a.freq, 44100.0 * n);
            EXPECT_NEAR(got, expected, a.tol) << "N=" << n << " at " << a.freq << " Hz: measured " << got
                                              << " dB, expected " << expected << " dB, tolerance " << a.tol;
        }
    }
}

// The same two lower rows by a sine through the stage step. The slowest pole
// has radius exp(-0.866 * 2 pi alpha): 0.76 (N = 4), 0.93 (N = 16); 2000
// steps leave no trace of the start. The window holds whole cycles.
TEST(BesselStage, AttenuationBySine)
{
    for (int n : {4, 16})
    {
        WDL_BesselFilterCoeffs c;
        c.Calc(0.2 / n);
        const double rate = 44100.0 * n;
        for (int row = 0; row < 2; ++row)
        {
            const Attenuation& a = kAttenuation[row];
            const double expected = n == 4 ? a.dbN4 : a.dbN16;
            const double w = 2.0 * kPi * a.freq / rate;
            BesselStage s;
            const long settle = 2000, window = long(rate) / 10;
            for (long i = 0; i < settle; ++i)
                s.Process(c, std::sin(w * double(i)));
            double cs = 0, cc = 0;
            for (long i = settle; i < settle + window; ++i)
            {
                const double y = s.Process(c, std::sin(w * double(i)));
                cs += y * std::sin(w * double(i));
                cc += y * std::cos(w * double(i));
            }
            const double got = 20.0 * std::log10(2.0 * std::hypot(cs, cc) / double(window));
            EXPECT_NEAR(got, expected, a.tol) << "N=" << n << " at " << a.freq << " Hz: measured " << got
                                              << " dB, expected " << expected << " dB, tolerance " << a.tol;
        }
    }
}

TEST(BesselFlush, SmallInfiniteAndNanBecomePlusZero)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double flushed[] = {1e-17,
                              -1e-17,
                              -0.0,
                              std::nextafter(std::ldexp(1.0, -54), 0.0),
                              std::numeric_limits<double>::min(),
                              std::numeric_limits<double>::denorm_min(),
                              -std::numeric_limits<double>::denorm_min(),
                              inf,
                              -inf,
                              nan,
                              -nan,
                              std::numeric_limits<double>::signaling_NaN()};
    for (double v : flushed)
        EXPECT_EQ(Bits(WDL_BesselFlush(v)), Bits(0.0)) << v;

    const double kept[] = {1e-16, -1e-16, std::ldexp(1.0, -54), -std::ldexp(1.0, -54), 0.5, -3.0,
                           std::numeric_limits<double>::max(), -std::numeric_limits<double>::max()};
    for (double v : kept)
        EXPECT_EQ(Bits(WDL_BesselFlush(v)), Bits(v)) << v;
}

// What the recursion produces is flushed before it enters the history: a NaN
// or infinite input makes that step's output +0.0 and the history shifts on
// as usual; alternating full-range inputs make it overflow, and the overflow
// is dropped rather than kept.
TEST(BesselStage, NonFiniteResultsNeverEnterTheHistory)
{
    WDL_BesselFilterCoeffs c;
    c.Calc(0.05);

    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity()})
    {
        BesselStage s;
        for (int i = 0; i < 50; ++i)
            s.Process(c, std::sin(0.3 * i));
        const BesselStage before = s;
        EXPECT_EQ(Bits(s.Process(c, bad)), Bits(0.0)) << bad;
        EXPECT_EQ(Bits(s.y[0]), Bits(0.0));
        EXPECT_EQ(std::memcmp(s.y + 1, before.y, 9 * sizeof(double)), 0);
    }

    BesselStage huge;
    for (int i = 0; i < 1000; ++i)
    {
        const double y = huge.Process(c, i % 2 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max());
        ASSERT_TRUE(std::isfinite(y)) << i;
    }
}

TEST(BesselStage, ResetClearsHistory)
{
    WDL_BesselFilterCoeffs c;
    c.Calc(0.05);
    BesselStage s;
    for (int i = 0; i < 10; ++i)
        s.Process(c, 1.0);
    s.Reset();
    for (double v : s.y)
        EXPECT_EQ(v, 0.0);
    EXPECT_EQ(s.Process(c, 1.0), c.gain);
}

} // namespace
