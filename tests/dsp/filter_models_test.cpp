// The five band filter models: magnitude responses checked from the
// coefficients and by a sine through Process, flatness at the centre
// position, Calc's independence from the histories and recovery from
// non-finite state.

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include "Coeffs/V553H.h"
#include "Coeffs/V553HP.h"
#include "Coeffs/V553L.h"
#include "Coeffs/V553LP.h"
#include "Coeffs/V553M.h"

namespace
{

constexpr double kPi = 3.14159265358979323846;

enum class Model { H, M, L, HP, LP };

const char* Name(Model m)
{
    switch (m)
    {
    case Model::H: return "V553H";
    case Model::M: return "V553M";
    case Model::L: return "V553L";
    case Model::HP: return "V553HP";
    case Model::LP: return "V553LP";
    }
    return "?";
}

// Builds the model, runs Calc(F, X[, Y]) and hands the section to fn.
template <class Fn>
void WithSection(Model m, double F, double X, double Y, Fn&& fn)
{
    switch (m)
    {
    case Model::H: { V553H s; s.Calc(F, X); fn(s); break; }
    case Model::M: { V553M s; s.Calc(F, X); fn(s); break; }
    case Model::L: { V553L s; s.Calc(F, X); fn(s); break; }
    case Model::HP: { V553HP s; s.Calc(F, X, Y); fn(s); break; }
    case Model::LP: { V553LP s; s.Calc(F, X, Y); fn(s); break; }
    }
}

// |H(e^jw)| in dB from the coefficients, H = B(z^-1) / A(z^-1). Long double
// keeps the evaluation's rounding far below the tolerances.
template <class S>
double ResponseDb(const S& s, double freq, double rate)
{
    using C = std::complex<long double>;
    const long double w = 2.0L * kPi * freq / rate;
    const long double b[4] = {s.b0, s.b1, s.b2, s.b3};
    const long double a[4] = {s.a0, s.a1, s.a2, s.a3};
    C num = 0, den = 0;
    for (int k = 0; k < 4; ++k)
    {
        const C z = std::polar(1.0L, -w * k);
        num += b[k] * z;
        den += a[k] * z;
    }
    return double(20.0L * std::log10(std::abs(num / den)));
}

// Steady-state gain in dB of a sine through Process. The slowest pole of any
// table row (low shelf at full cut) has radius 0.999965, so 12 s bring its
// transient below 1e-8 of the signal; the 1 s window holds whole cycles of
// every table frequency, which makes the sine/cosine correlation exact.
template <class S>
double SineGainDb(S& s, double freq, double rate)
{
    const long settle = long(12 * rate), window = long(rate);
    const double w = 2.0 * kPi * freq / rate;
    for (long n = 0; n < settle; ++n)
        s.Process(std::sin(w * double(n)));
    double cs = 0.0, cc = 0.0;
    for (long n = settle; n < settle + window; ++n)
    {
        const double y = s.Process(std::sin(w * double(n)));
        cs += y * std::sin(w * double(n));
        cc += y * std::cos(w * double(n));
    }
    const double amplitude = 2.0 * std::hypot(cs, cc) / double(window);
    return 20.0 * std::log10(amplitude);
}

struct ResponseRow
{
    Model model;
    double F, X, Y;
    double dB[6]; // at kFreqs
};

const double kFreqs[6] = {20.0, 100.0, 1000.0, 2000.0, 10000.0, 20000.0};
const double kRate = 44100.0;
const double kTableTol = 0.01; // the table is rounded to 0.01 dB

const ResponseRow kRows[] = {
    {Model::H, 44100, 0.0, 0.0, {-0.00, +0.07, +4.03, +7.86, +13.34, +13.70}},
    {Model::H, 44100, 0.5, 0.0, {-0.01, -0.00, -0.00, -0.00, -0.00, -0.00}},
    {Model::H, 44100, 1.0, 0.0, {-0.02, -0.08, -4.03, -7.87, -13.34, -13.70}},
    {Model::M, 44100, 0.02, 0.0, {-0.00, +0.08, +5.48, +13.45, +2.04, +0.04}},
    {Model::M, 44100, 0.98, 0.0, {-0.02, -0.09, -5.48, -13.46, -2.04, -0.04}},
    {Model::L, 44100, 0.0, 0.0, {+11.53, +11.13, +3.02, +1.01, +0.03, +0.00}},
    {Model::L, 44100, 1.0, 0.0, {-11.57, -11.11, -3.02, -1.01, -0.03, -0.00}},
    {Model::HP, 88200, 1.0, 1.0, {+1.16, +0.10, -0.00, -0.00, -0.08, -2.54}},
    {Model::HP, 88200, 0.04, 0.04, {-48.84, -20.52, +0.41, +0.08, -0.11, -2.55}},
    {Model::LP, 22050, 0.0, 0.0, {-0.00, -0.00, +0.00, +0.01, +0.49, -17.24}},
    {Model::LP, 22050, 0.3, 0.3, {+0.00, +0.06, -1.63, -13.86, -45.72, -81.59}},
};

void PrintTo(const ResponseRow& r, std::ostream* os)
{
    *os << Name(r.model) << " F=" << r.F << " X=" << r.X << " Y=" << r.Y;
}

std::string RowName(const testing::TestParamInfo<ResponseRow>& info)
{
    const ResponseRow& r = info.param;
    std::string s = std::string(Name(r.model)) + "_X" + std::to_string(int(std::lround(r.X * 100)));
    if (r.model == Model::HP || r.model == Model::LP)
        s += "_Y" + std::to_string(int(std::lround(r.Y * 100)));
    return s;
}

class ResponseTable : public testing::TestWithParam<ResponseRow>
{
};

TEST_P(ResponseTable, FromCoefficients)
{
    const ResponseRow& r = GetParam();
    WithSection(r.model, r.F, r.X, r.Y, [&](auto& s) {
        for (int i = 0; i < 6; ++i)
        {
            const double got = ResponseDb(s, kFreqs[i], kRate);
            EXPECT_NEAR(got, r.dB[i], kTableTol)
                << Name(r.model) << " F=" << r.F << " X=" << r.X << " Y=" << r.Y << " at " << kFreqs[i]
                << " Hz: measured " << got << " dB, expected " << r.dB[i] << " dB, tolerance " << kTableTol;
        }
    });
}

TEST_P(ResponseTable, SineThroughProcess)
{
    const ResponseRow& r = GetParam();
    for (int i = 0; i < 6; ++i)
    {
        WithSection(r.model, r.F, r.X, r.Y, [&](auto& s) {
            const double got = SineGainDb(s, kFreqs[i], kRate);
            EXPECT_NEAR(got, r.dB[i], kTableTol)
                << Name(r.model) << " F=" << r.F << " X=" << r.X << " Y=" << r.Y << " at " << kFreqs[i]
                << " Hz: measured " << got << " dB, expected " << r.dB[i] << " dB, tolerance " << kTableTol;
        });
    }
}

INSTANTIATE_TEST_SUITE_P(V553, ResponseTable, testing::ValuesIn(kRows), RowName);

// The mid band's largest boost: about +15.4 dB near 2.5 kHz.
TEST(V553M, PeakOfLargestBoost)
{
    V553M s;
    s.Calc(44100, 0.02);
    double peakDb = -1e9, peakHz = 0;
    for (double f = 1000; f <= 5000; f += 1.0)
    {
        const double db = ResponseDb(s, f, kRate);
        if (db > peakDb)
        {
            peakDb = db;
            peakHz = f;
        }
    }
    EXPECT_NEAR(peakDb, 15.4, 0.05) << "peak at " << peakHz << " Hz";
    EXPECT_NEAR(peakHz, 2500, 250) << "peak " << peakDb << " dB";
}

// High-pass at HPF 0 (X = Y = 1, F = 88200) around its low corner: about
// -6.7 dB at 10 Hz, +1.2 dB at 20 Hz, and nothing at zero frequency (its
// numerator sums to zero).
TEST(V553HP, LowCornerAtHpfZero)
{
    V553HP s;
    s.Calc(88200, 1.0, 1.0);
    EXPECT_NEAR(ResponseDb(s, 10, kRate), -6.7, 0.05);
    EXPECT_NEAR(ResponseDb(s, 20, kRate), 1.2, 0.05);
    const double numSum = s.b0 + s.b1 + s.b2 + s.b3;
    EXPECT_LT(std::fabs(numSum), 1e-12 * std::fabs(s.b0)) << "numerator at z = 1: " << numSum;
}

// Shelves and peak at the centre position are flat from 20 Hz to Nyquist at
// every common rate.
TEST(V553Bands, FlatAtCentrePosition)
{
    const double tol = 0.02;
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0})
    {
        for (Model m : {Model::H, Model::M, Model::L})
        {
            WithSection(m, rate, 0.5, 0.0, [&](auto& s) {
                std::vector<double> freqs;
                for (double f = 20.0; f < rate / 2; f *= std::pow(2.0, 1.0 / 24))
                    freqs.push_back(f);
                freqs.push_back(rate / 2);
                for (double f : freqs)
                {
                    const double db = ResponseDb(s, f, rate);
                    ASSERT_NEAR(db, 0.0, tol) << Name(m) << " at rate " << rate << ", " << f << " Hz: measured " << db
                                              << " dB, expected 0 dB, tolerance " << tol;
                }
            });
        }
    }
}

// Calc touches the coefficients only: neither the histories nor the output
// sequence change when it runs between samples, whether its arguments are
// the same or not.
template <class S, class CalcFn>
void CheckCalcKeepsHistories(CalcFn calc)
{
    S once, every;
    calc(once, 0.3);
    calc(every, 0.3);
    for (int n = 0; n < 2000; ++n)
    {
        const double in = std::sin(0.05 * n) + 0.25 * std::sin(0.71 * n);
        const double a = once.Process(in);
        calc(every, 0.3);
        const double b = every.Process(in);
        ASSERT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "sample " << n;
    }

    const double before[8] = {every.x, every.y, every.x1, every.x2, every.x3, every.y1, every.y2, every.y3};
    calc(every, 0.9);
    const double after[8] = {every.x, every.y, every.x1, every.x2, every.x3, every.y1, every.y2, every.y3};
    EXPECT_EQ(std::memcmp(before, after, sizeof before), 0);
}

TEST(V553Calc, LeavesHistoriesAlone)
{
    CheckCalcKeepsHistories<V553H>([](V553H& s, double x) { s.Calc(48000, x); });
    CheckCalcKeepsHistories<V553M>([](V553M& s, double x) { s.Calc(48000, x); });
    CheckCalcKeepsHistories<V553L>([](V553L& s, double x) { s.Calc(48000, x); });
    CheckCalcKeepsHistories<V553HP>([](V553HP& s, double x) { s.Calc(96000, x, x * 0.9); });
    CheckCalcKeepsHistories<V553LP>([](V553LP& s, double x) { s.Calc(24000, x * 0.3, x * 0.25); });
}

TEST(V553Sections, StartAtZero)
{
    static_assert(sizeof(V553HP) == 16 * sizeof(double), "sixteen doubles, nothing else");
    const V553HP s;
    double f[16];
    std::memcpy(f, &s, sizeof f);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(f[i], 0.0) << "field " << i;
}

// A NaN or an infinity that reaches a section stays in its recursion for
// good; IsFinite reports it, ClearIfNonFinite puts the section back to the
// state of a fresh one with the same coefficients.
template <class S, class CalcFn>
void CheckRecovery(CalcFn calc, double bad)
{
    S hit, fresh;
    calc(hit);
    calc(fresh);
    for (int n = 0; n < 100; ++n)
        hit.Process(std::sin(0.1 * n));
    EXPECT_TRUE(hit.IsFinite());
    EXPECT_FALSE(hit.ClearIfNonFinite());

    hit.Process(bad);
    EXPECT_FALSE(hit.IsFinite());
    for (int n = 0; n < 1000; ++n)
        ASSERT_FALSE(std::isfinite(hit.Process(0.5))) << "a non-finite history decays on its own at " << n;

    EXPECT_TRUE(hit.ClearIfNonFinite());
    EXPECT_TRUE(hit.IsFinite());
    for (int n = 0; n < 1000; ++n)
    {
        const double in = std::sin(0.02 * n);
        ASSERT_EQ(hit.Process(in), fresh.Process(in)) << "sample " << n;
    }
}

template <class S, class CalcFn>
void CheckAllRecoveries(CalcFn calc)
{
    CheckRecovery<S>(calc, std::numeric_limits<double>::quiet_NaN());
    CheckRecovery<S>(calc, std::numeric_limits<double>::infinity());
    CheckRecovery<S>(calc, -std::numeric_limits<double>::infinity());
}

TEST(V553Sections, NonFiniteHistoryIsDetectedAndCleared)
{
    CheckAllRecoveries<V553H>([](V553H& s) { s.Calc(44100, 0.0); });
    CheckAllRecoveries<V553M>([](V553M& s) { s.Calc(44100, 0.02); });
    CheckAllRecoveries<V553L>([](V553L& s) { s.Calc(44100, 1.0); });
    CheckAllRecoveries<V553HP>([](V553HP& s) { s.Calc(88200, 1.0, 1.0); });
    CheckAllRecoveries<V553LP>([](V553LP& s) { s.Calc(22050, 0.3, 0.3); });
}

// The cheap check for a whole channel: a non-finite value in any history of
// any of the five sections in series shows in the final output at every
// later sample, so testing that one value is enough; then each section is
// cleared.
struct Strip
{
    V553H h;
    V553HP hp;
    V553LP lp;
    V553M m;
    V553L l;

    Strip()
    {
        h.Calc(44100, 0.2);
        hp.Calc(88200, 0.9, 0.9);
        lp.Calc(22050, 0.1, 0.1);
        m.Calc(44100, 0.7);
        l.Calc(44100, 0.4);
    }
    double Process(double x) { return l.Process(m.Process(lp.Process(hp.Process(h.Process(x))))); }
    void ClearAll()
    {
        h.ClearIfNonFinite();
        hp.ClearIfNonFinite();
        lp.ClearIfNonFinite();
        m.ClearIfNonFinite();
        l.ClearIfNonFinite();
    }
};

TEST(V553Sections, SeriesOutputRevealsAnyBadHistory)
{
    const double inf = std::numeric_limits<double>::infinity();
    for (int section = 0; section < 5; ++section)
    {
        for (double bad : {std::numeric_limits<double>::quiet_NaN(), inf, -inf})
        {
            Strip strip, twin;
            for (int n = 0; n < 100; ++n)
                strip.Process(std::sin(0.1 * n));
            double* field[5] = {&strip.h.x2, &strip.hp.y3, &strip.lp.y2, &strip.m.x3, &strip.l.y1};
            *field[section] = bad;
            for (int n = 0; n < 1000; ++n)
                ASSERT_FALSE(std::isfinite(strip.Process(std::sin(0.1 * n))))
                    << "section " << section << ", value " << bad << ", sample " << n;

            // Only the hit section and those after it are cleared; the ones
            // before it keep their state.
            for (int n = 0; n < 100; ++n)
                twin.Process(std::sin(0.1 * n));
            for (int n = 0; n < 1000; ++n)
                twin.Process(std::sin(0.1 * n));
            strip.ClearAll();
            EXPECT_TRUE(strip.h.IsFinite() && strip.hp.IsFinite() && strip.lp.IsFinite() && strip.m.IsFinite() &&
                        strip.l.IsFinite());
            const void* kept[5][2] = {{&strip.h, &twin.h}, {&strip.hp, &twin.hp}, {&strip.lp, &twin.lp},
                                      {&strip.m, &twin.m}, {&strip.l, &twin.l}};
            for (int k = 0; k < section; ++k)
                EXPECT_EQ(std::memcmp(kept[k][0], kept[k][1], sizeof(V553H)), 0) << "section " << k;
            for (int n = 0; n < 1000; ++n)
                ASSERT_TRUE(std::isfinite(strip.Process(std::sin(0.1 * n)))) << "section " << section << ", sample " << n;
        }
    }
}

// Huge but finite histories are not mistaken for non-finite ones.
TEST(V553Sections, LargeFiniteHistoryIsFinite)
{
    V553LP s;
    s.Calc(22050, 0.0, 0.0);
    s.x1 = s.x2 = s.x3 = s.y1 = s.y2 = s.y3 = std::numeric_limits<double>::max();
    EXPECT_TRUE(s.IsFinite());
    s.y3 = -std::numeric_limits<double>::denorm_min();
    EXPECT_TRUE(s.IsFinite());
    s.x3 = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(s.IsFinite());
}

// Reset clears what Process builds up but keeps the coefficients.
TEST(V553Sections, ResetKeepsCoefficients)
{
    V553M s;
    s.Calc(44100, 0.25);
    const double a0 = s.a0, b3 = s.b3;
    for (int n = 0; n < 10; ++n)
        s.Process(1.0);
    s.Reset();
    EXPECT_EQ(s.a0, a0);
    EXPECT_EQ(s.b3, b3);
    EXPECT_EQ(s.x1, 0.0);
    EXPECT_EQ(s.y3, 0.0);
    EXPECT_EQ(s.Process(1.0), s.b0 / s.a0);
}

} // namespace

namespace
{

// The coefficient tables transcribed literally, each polynomial as written
// (the models share and reorder work between them; the bits must not move).
struct LiteralCoeffs
{
    double a[4] = {}, b[4] = {};

    void Mirror3(double a0E, double a0O, double a1E, double a1O, double b0E, double b0O, double b1E, double b1O)
    {
        a[0] = a0E + a0O, a[1] = a1E + a1O, a[2] = a1E - a1O, a[3] = a0E - a0O;
        b[0] = b0E + b0O, b[1] = b1E + b1O, b[2] = b1E - b1O, b[3] = b0E - b0O;
    }

    void H(double F, double X)
    {
        const double F2 = F * F, X2 = X * X;
        const double a0E = 2.71081253402608e-06 + F2 * (-6.55997053143411e-10 * X2 + 9.83988423539763e-10 * X + 8.52914603788545e-11);
        const double a0O = F * (-1.78908111027219e-09 * X2 + 3.57814433010599e-09 * X + 9.94187430766337e-07);
        const double a1E = 5.42162506805215e-06 + F2 * (1.31199410628682e-09 * X2 - 1.96797684707953e-09 * X - 1.70582920757709e-10);
        const double b0E = -2.25889373551206e-07 + F2 * (-6.55982740792703e-10 * X2 + 3.27991370396351e-10 * X + 4.13269126699403e-10);
        const double b0O = F * (1.49086986543796e-10 * X2 - 2.98173973087592e-10 * X + 9.93893862317057e-07);
        const double b1E = -4.51778747102413e-07 + F2 * (1.31196548158541e-09 * X2 - 6.55982740792703e-10 * X - 8.26538253398806e-10);
        a[0] = a0E + a0O, a[1] = a1E, a[2] = a0E - a0O;
        b[0] = b0E + b0O, b[1] = b1E, b[2] = b0E - b0O;
    }

    void M(double F, double X)
    {
        const double F2 = F * F, F3 = F2 * F, X2 = X * X;
        Mirror3(9.76063114946011e-07 + F2 * (-2.79145718979582e-10 * X2 + 4.18715533309788e-10 * X + 1.9001829081179e-11),
                F * (-7.61305756552751e-10 * X2 + 1.52260390020654e-09 * X + 3.57938069936691e-07) + 5.58302603544311e-15 * F3,
                2.92818934483803e-06 + F2 * (2.79145718979582e-10 * X2 - 4.18715533309788e-10 * X - 1.9001829081179e-11),
                F * (-7.61305756552751e-10 * X2 + 1.52260390020654e-09 * X + 3.57938069936691e-07) - 1.67490781063293e-14 * F3,
                -8.13343906353181e-08 + F2 * (-2.79139628660412e-10 * X2 + 1.39569814330206e-10 * X + 1.5855004026262e-10),
                F * (6.34408246955481e-11 * X2 - 1.26881649391096e-10 * X + 3.5786700481932e-07) + 5.58279257320823e-15 * F3,
                -2.44003171905954e-07 + F2 * (2.79139628660412e-10 * X2 - 1.39569814330206e-10 * X - 1.5855004026262e-10),
                F * (6.34408246955481e-11 * X2 - 1.26881649391096e-10 * X + 3.5786700481932e-07) - 1.67483777196247e-14 * F3);
    }

    void L(double F, double X)
    {
        const double F2 = F * F, F3 = F2 * F, X2 = X * X;
        Mirror3(1.22490721224026e-10 + F2 * (-4.2217208489666e-11 * X2 + 6.33253521931818e-11 * X + 7.62293019589732e-12),
                F * (-1.15137727944598e-10 * X2 + 2.30274304535903e-10 * X + 6.56405548817487e-11) + 8.44361056308283e-15 * F3,
                3.67472163672079e-10 + F2 * (4.2217208489666e-11 * X2 - 6.33253521931818e-11 * X - 7.62293019589732e-12),
                F * (-1.15137727944598e-10 * X2 + 2.30274304535903e-10 * X + 6.56405548817487e-11) - 2.53308316892485e-14 * F3,
                -1.0207032738644e-11 + F2 * (-4.22162874070317e-11 * X2 + 2.11081437035158e-11 * X + 2.87051565146267e-11),
                F * (9.59461077432538e-12 * X2 - 1.91892215486508e-11 * X + 4.31839141106551e-11) + 8.44325748140633e-15 * F3,
                -3.06210982159321e-11 + F2 * (4.22162874070317e-11 * X2 - 2.11081437035158e-11 * X - 2.87051565146267e-11),
                F * (9.59461077432538e-12 * X2 - 1.91892215486508e-11 * X + 4.31839141106551e-11) - 2.5329772444219e-14 * F3);
    }

    void HP(double F, double X, double Y)
    {
        const double F2 = F * F, F3 = F2 * F, XY = X * Y;
        Mirror3(1.52890709065889e-05 + F2 * (1.52890709065889e-09 * XY + 1.19254783648923e-11 * X + 1.25370320278968e-11 * Y + 9.77888736680688e-14),
                F * (-1.52884593559836e-07 * X + 3.05781418131778e-07 * Y + 1.22317306769902e-09)
                    + F3 * (3.05778360378751e-15 * XY + 2.38507121095426e-17 * X + 2.38507121095426e-17 * Y + 1.86035554454432e-19),
                4.58672127197666e-05 + F2 * (-1.52890709065889e-09 * XY - 1.19254783648923e-11 * X - 1.25370320278968e-11 * Y - 9.77888736680688e-14),
                F * (-1.52884593559836e-07 * X + 3.05781418131778e-07 * Y + 1.22317306769902e-09)
                    + F3 * (-9.17335081136254e-15 * XY - 7.15521363286278e-17 * X - 7.15521363286278e-17 * Y - 5.58106663363297e-19),
                F2 * (1.52886122451638e-09 * XY + 1.19251175512278e-11 * X + 1.19251175512278e-11 * Y + 9.30159168995765e-14),
                F3 * (1.52886122451638e-15 * XY + 1.19251175512278e-17 * X + 1.19251175512278e-17 * Y + 9.30159168995765e-20),
                F2 * (-1.52886122451638e-09 * XY - 1.19251175512278e-11 * X - 1.19251175512278e-11 * Y - 9.30159168995765e-14),
                F3 * (-4.58658367354914e-15 * XY - 3.57753526536833e-17 * X - 3.57753526536833e-17 * Y - 2.7904775069873e-19));
    }

    void LP(double F, double X, double Y)
    {
        const double F2 = F * F, XY = X * Y;
        const double a0E = 0.000293230378280438 + F2 * (1.65381933350167e-09 * XY + 1.2899790801313e-11 * X + 1.2899790801313e-11 * Y + 1.00618368250242e-13);
        const double a0O = F * (3.51876453936525e-07 * X + 3.51890235626487e-07 * Y + 5.4893801785915e-09);
        const double a1E = 0.000586460756560875 + F2 * (-3.30763866700334e-09 * XY - 2.5799581602626e-11 * X - 2.5799581602626e-11 * Y - 2.01236736500483e-13);
        a[0] = a0E + a0O, a[1] = a1E, a[2] = a0E - a0O;
        b[0] = 0.000293227446005978, b[1] = 0.000586454892011955, b[2] = 0.000293227446005978;
    }
};

template <class S>
void ExpectCoefficients(const S& s, const LiteralCoeffs& want, const char* name, double F, double X, double Y)
{
    const double got[8] = {s.a0, s.a1, s.a2, s.a3, s.b0, s.b1, s.b2, s.b3};
    for (int i = 0; i < 8; ++i)
    {
        std::uint64_t g, w;
        const double wv = i < 4 ? want.a[i] : want.b[i - 4];
        std::memcpy(&g, &got[i], sizeof g);
        std::memcpy(&w, &wv, sizeof w);
        ASSERT_EQ(g, w) << name << " coefficient " << i << " at F " << F << " X " << X << " Y " << Y;
    }
}

} // namespace

// Every model's Calc, and its two-lane form, gives the literal polynomials'
// bits over the whole control range (edges included) and at every rate.
TEST(V553Calc, MatchesTheLiteralPolynomialsBitForBit)
{
    typedef double Lanes2 __attribute__((vector_size(16)));
    std::uint32_t seed = 99;
    auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) / 16777216.0;
    };
    const double rates[] = {22050.0, 44100.0, 48000.0, 88200.0, 96000.0, 192000.0};
    for (int k = 0; k < 20000; ++k)
    {
        const double F = rates[k % 6];
        const double X = k < 4 ? k / 3.0 : next(), Y = k < 4 ? 1.0 - k / 3.0 : next();
        LiteralCoeffs want;
        V553H h;
        h.Calc(F, X);
        want = LiteralCoeffs{};
        want.H(F, X);
        ExpectCoefficients(h, want, "V553H", F, X, 0.0);
        V553M m;
        m.Calc(F, X);
        want = LiteralCoeffs{};
        want.M(F, X);
        ExpectCoefficients(m, want, "V553M", F, X, 0.0);
        V553L l;
        l.Calc(F, X);
        want = LiteralCoeffs{};
        want.L(F, X);
        ExpectCoefficients(l, want, "V553L", F, X, 0.0);
        V553HP hp;
        hp.Calc(2.0 * F, X, Y);
        want = LiteralCoeffs{};
        want.HP(2.0 * F, X, Y);
        ExpectCoefficients(hp, want, "V553HP", 2.0 * F, X, Y);
        V553LP lp;
        lp.Calc(0.5 * F, 0.3 * X, 0.3 * Y);
        want = LiteralCoeffs{};
        want.LP(0.5 * F, 0.3 * X, 0.3 * Y);
        ExpectCoefficients(lp, want, "V553LP", 0.5 * F, 0.3 * X, 0.3 * Y);

        // Lane 1 carries the same arguments as the scalar call above.
        detail::V553Recursion<Lanes2, true> lanes;
        V553HP::Coefficients<Lanes2>(Lanes2{F, 2.0 * F}, Lanes2{Y, X}, Lanes2{X, Y}, lanes);
        const double* c = &hp.a0;
        for (int i = 0; i < 8; ++i) ASSERT_EQ((&lanes.a0)[i][1], c[i]) << "lane form, coefficient " << i;
    }
}
