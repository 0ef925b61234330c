// Waveshaper, its tables and the oversampled saturation path at N = 4 and 16.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "Coeffs/saturation.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;
constexpr double kScale = 142.14300537109375;
constexpr double kEnd = 0.8333333134651184;
const double kInf = std::numeric_limits<double>::infinity();
const double kNan = std::numeric_limits<double>::quiet_NaN();

std::uint64_t Bits(double v)
{
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::uint32_t Bits(float v)
{
    std::uint32_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

#define EXPECT_SAME_DOUBLE(got, want) EXPECT_EQ(Bits(double(got)), Bits(double(want))) << (got) << " vs " << (want)

TEST(Zuz553aTables, HeaderAndValues)
{
    EXPECT_EQ(zuz553a_table.start, 0.0f);
    EXPECT_EQ(zuz553a_table.end, 0.833333015f);
    EXPECT_EQ(zuz553a_table.scale, 142.143005f);
    EXPECT_EQ(zuz553a_table.count, 200);
    EXPECT_EQ(zuz553a_neg_table.start, 0.0f);
    EXPECT_EQ(zuz553a_neg_table.end, -0.833333015f);
    EXPECT_EQ(zuz553a_neg_table.scale, 142.143005f);
    EXPECT_EQ(zuz553a_neg_table.count, 200);
    EXPECT_EQ(double(zuz553a_table.scale), kScale);

    EXPECT_EQ(zuz553a_table.values[0], 0.0f);
    EXPECT_EQ(zuz553a_table.values[1], 0.00421497412f);
    EXPECT_EQ(zuz553a_table.values[100], 0.420056641f);
    EXPECT_EQ(double(zuz553a_table.values[199]), kEnd);
    for (int i = 0; i < 200; ++i)
    {
        EXPECT_EQ(Bits(zuz553a_neg_table.values[i]), Bits(zuz553a_table.values[i]) ^ 0x80000000u) << i;
        if (i > 0)
        {
            // Nearly linear, slope ~0.599 per unit input, easing toward the end.
            const double slope = (zuz553a_table.values[i] - zuz553a_table.values[i - 1]) * kScale;
            EXPECT_GT(slope, 0.59) << i;
            EXPECT_LT(slope, 0.6) << i;
        }
    }
}

TEST(Zuz553aShape, Examples)
{
    EXPECT_SAME_DOUBLE(zuz553a_shape(0.0), 0.0);
    EXPECT_SAME_DOUBLE(zuz553a_shape(-0.0), -0.0);
    EXPECT_SAME_DOUBLE(zuz553a_shape(0.5), 0.29881709609890095);
    EXPECT_SAME_DOUBLE(zuz553a_shape(1.0), 0.5962912414870516);
    EXPECT_SAME_DOUBLE(zuz553a_shape(-1.0), -0.5962912414870516);
}

// From 199 table steps up to just below 2^31 steps the output is the end
// value; from 2^31 steps on (and for infinities and NaN) it is zero, signed
// like the input.
TEST(Zuz553aShape, SaturationAndOutOfRange)
{
    const double lowest = 199.0 / kScale;
    const double highest = std::nextafter(2147483648.0 / kScale, 0.0);
    ASSERT_LT(highest * kScale, 2147483648.0);
    for (double v : {lowest, 1.4, 2.0, 1000.0, 15107909.0, highest})
    {
        EXPECT_SAME_DOUBLE(zuz553a_shape(v), kEnd);
        EXPECT_SAME_DOUBLE(zuz553a_shape(-v), -kEnd);
    }
    EXPECT_LT(zuz553a_shape(std::nextafter(lowest, 0.0)), kEnd);

    for (double v : {2147483648.0 / kScale, 15107910.0, 1e300, std::numeric_limits<double>::max(), kInf})
    {
        EXPECT_SAME_DOUBLE(zuz553a_shape(v), 0.0);
        EXPECT_SAME_DOUBLE(zuz553a_shape(-v), -0.0);
    }
    EXPECT_EQ(zuz553a_shape(kNan), 0.0);
    EXPECT_EQ(zuz553a_shape(-kNan), 0.0);
}

TEST(Zuz553aShape, OddAndMonotonic)
{
    double previous = 0.0;
    for (int k = 0; k <= 30000; ++k)
    {
        const double v = k * 1e-4;
        const double y = zuz553a_shape(v);
        ASSERT_EQ(Bits(zuz553a_shape(-v)), Bits(-y)) << v;
        ASSERT_GE(y, previous) << v;
        ASSERT_LE(y, kEnd) << v;
        previous = y;
    }
}

// One channel of the path with its own coefficients and stages.
struct Channel
{
    WDL_BesselFilterCoeffs c;
    BesselStage up, down;

    explicit Channel(int n) { c.Calc(0.2 / n); }

    template <int N>
    double Run(double x)
    {
        return SaturationPath<N>(x, c, up, down);
    }

    bool Finite() const
    {
        for (int k = 0; k < 10; ++k)
            if (!std::isfinite(up.y[k]) || !std::isfinite(down.y[k]))
                return false;
        return true;
    }
};

bool SameState(const Channel& a, const Channel& b)
{
    return std::memcmp(a.up.y, b.up.y, sizeof a.up.y) == 0 && std::memcmp(a.down.y, b.down.y, sizeof a.down.y) == 0;
}

// A varied test signal at host-rate sample n (scaled input, as the chain
// passes it: 10 times the audio).
double Signal(long n)
{
    return 10.0 * (0.3 * std::sin(2 * kPi * 440.0 * n / 44100.0) + 0.05 * std::sin(2 * kPi * 7000.0 * n / 44100.0));
}

struct Four
{
    static constexpr int N = 4;
};
struct Sixteen
{
    static constexpr int N = 16;
};
template <class T>
class Factor : public testing::Test
{
};
using Factors = testing::Types<Four, Sixteen>;
TYPED_TEST_SUITE(Factor, Factors);

// The run-time dispatch, the single-channel loop and the stereo loop are the
// same computation.
TYPED_TEST(Factor, AllEntryPointsAgree)
{
    constexpr int N = TypeParam::N;
    Channel a(N), b(N), l(N), r(N);
    for (long n = 0; n < 3000; ++n)
    {
        const double x = Signal(n);
        const double ya = a.template Run<N>(x);
        double yb = 0, yl = 0, yr = 0;
        ASSERT_TRUE(SaturationPath(x, N, b.c, b.up, b.down, yb));
        SaturationPathStereo<N>(x, -0.5 * x, l.c, l.up, l.down, r.c, r.up, r.down, yl, yr);
        ASSERT_EQ(Bits(ya), Bits(yb)) << n;
        ASSERT_EQ(Bits(ya), Bits(yl)) << n;
        ASSERT_TRUE(std::isfinite(yr)) << n;
    }
    EXPECT_TRUE(SameState(a, b));
    EXPECT_TRUE(SameState(a, l));
}

// In the linear range the path passes low frequencies at the shaper's slope
// (~0.599): the zero-stuffed level, 1/N, is made up by the factor N.
TYPED_TEST(Factor, SmallSignalGainIsTheShaperSlope)
{
    constexpr int N = TypeParam::N;
    Channel ch(N);
    const double w = 2 * kPi * 200.0 / 44100.0, amp = 0.1;
    const long settle = 4410, window = 44100;
    double cs = 0, cc = 0;
    for (long n = 0; n < settle + window; ++n)
    {
        const double y = ch.Run<N>(amp * std::sin(w * n));
        if (n >= settle)
        {
            cs += y * std::sin(w * n);
            cc += y * std::cos(w * n);
        }
    }
    const double gain = 2.0 * std::hypot(cs, cc) / window / amp;
    EXPECT_NEAR(gain, 0.5963, 0.003);
}

// Stage noise: once a signal has passed, the stages keep rounding noise that
// sits above the flush threshold and never dies out. At the path's output it
// stays near 1.5e-14 (N = 4) and 1.6e-9 (N = 16, coefficients up to ~136).
template <int N>
constexpr double kNoise = N == 4 ? 1e-13 : 1e-8;

// Two paths fed the same signal whose states once differed never agree bit
// for bit again: their rounding errors decorrelate. For the test signal (path
// output ~0.8) the difference settles at ~3e-12 (N = 4) and ~1.3e-6 (N = 16,
// where 1/gain ~1e8 amplifies the rounding), whatever the first difference
// was; a single input sample off by 1.0 gives the same figures.
template <int N>
constexpr double kTrack = N == 4 ? 1e-11 : 1e-5;

// The bad samples come in a burst in the middle of a signal; a reference path
// gets zeros there. Nothing non-finite ever appears, and 2500 samples after
// the burst the two paths agree to the rounding noise. The input limit keeps
// even full-range values from locking the up-sampling stage in overflow.
template <int N>
void CheckBurst(const double* bad, int count)
{
    Channel hit(N), ref(N);
    double worstAfter = 0;
    for (long n = 0; n < 6000; ++n)
    {
        const bool burst = n >= 500 && n < 500 + count;
        const double yh = hit.Run<N>(burst ? bad[n - 500] : Signal(n));
        const double yr = ref.Run<N>(burst ? 0.0 : Signal(n));
        ASSERT_TRUE(std::isfinite(yh)) << n;
        ASSERT_TRUE(hit.Finite()) << n;
        if (n >= 500 + count + 2500)
            worstAfter = std::max(worstAfter, std::fabs(yh - yr));
    }
    EXPECT_LE(worstAfter, kTrack<N>) << "burst starting with " << bad[0];
}

TYPED_TEST(Factor, RecoversFromNonFiniteInput)
{
    constexpr int N = TypeParam::N;
    const double one[][1] = {{kNan}, {-kNan}, {kInf}, {-kInf}};
    for (const auto& b : one)
        CheckBurst<N>(b, 1);
    const double mixed[] = {kNan, kInf, 0.5, -kInf, kNan, kNan, -3.0, kInf};
    CheckBurst<N>(mixed, 8);
}

TYPED_TEST(Factor, RecoversFromHugeInput)
{
    constexpr int N = TypeParam::N;
    const double maxv = std::numeric_limits<double>::max();
    const double single[][1] = {{maxv}, {-maxv}, {1e308}, {1e300}, {1e100}, {1e20}, {15107910.0}};
    for (const auto& b : single)
        CheckBurst<N>(b, 1);
    const double alternating[] = {maxv, -maxv, maxv, -maxv, 1e308, -1e308, 1e307, kInf, -1e200, 1e8};
    CheckBurst<N>(alternating, 10);
    double constant[200];
    for (double& v : constant)
        v = 1e308;
    CheckBurst<N>(constant, 200);
}

// Without the input limit a single full-range sample locks the up-sampling
// stage: this is the state the limit prevents.
TEST(SaturationPath, UnlimitedStageLocksInOverflow)
{
    WDL_BesselFilterCoeffs c;
    c.Calc(0.05);
    BesselStage s;
    s.Process(c, 1e308);
    double largest = 0;
    for (int i = 0; i < 100000; ++i)
    {
        s.Process(c, 0.0);
        for (double v : s.y)
            largest = std::max(largest, std::fabs(v));
    }
    EXPECT_GT(largest, 1e300);
}

TYPED_TEST(Factor, SilenceAfterSignal)
{
    constexpr int N = TypeParam::N;
    Channel ch(N);
    for (long n = 0; n < 4410; ++n)
        ch.Run<N>(Signal(n));
    double worst = 0;
    for (long n = 0; n < 44100; ++n)
    {
        const double y = ch.Run<N>(0.0);
        if (n >= 2000)
            worst = std::max(worst, std::fabs(y));
    }
    EXPECT_LE(worst, kNoise<N>);
}

TEST(SaturationPath, OtherFactors)
{
    Channel ch(4);
    double out = 123.0;
    EXPECT_FALSE(SaturationPath(1.0, 0, ch.c, ch.up, ch.down, out));
    EXPECT_FALSE(SaturationPath(1.0, -4, ch.c, ch.up, ch.down, out));
    EXPECT_EQ(out, 123.0);
    EXPECT_TRUE(SameState(ch, Channel(4)));

    // Any positive factor runs; 1 is a plain filter-shaper-filter.
    Channel one(1);
    ASSERT_TRUE(SaturationPath(1.0, 1, one.c, one.up, one.down, out));
    EXPECT_EQ(out, one.c.gain * zuz553a_shape(one.c.gain));
}

} // namespace
