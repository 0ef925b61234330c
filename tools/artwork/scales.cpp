#include "scales.h"

#include "Coeffs/V553H.h"
#include "Coeffs/V553HP.h"
#include "Coeffs/V553L.h"
#include "Coeffs/V553LP.h"
#include "Coeffs/V553M.h"

#include <cmath>
#include <complex>
#include <cstdio>

namespace artwork
{
namespace
{
constexpr double kPi = 3.14159265358979323846;
constexpr double kLowEdge = 20.0, kHighEdge = 20000.0;

// |H(e^jw)| in dB of a section after Calc (unused higher coefficients are 0).
template <class S>
double MagnitudeDb(const S& s, double hz)
{
  const std::complex<double> z1 = std::polar(1.0, -2.0 * kPi * hz / kMeasureRate);
  const std::complex<double> z2 = z1 * z1, z3 = z2 * z1;
  const std::complex<double> num = s.b0 + s.b1 * z1 + s.b2 * z2 + s.b3 * z3;
  const std::complex<double> den = s.a0 + s.a1 * z1 + s.a2 * z2 + s.a3 * z3;
  return 20.0 * std::log10(std::abs(num / den));
}

// The frequency where a response falls through -3 dB, walking from `from` by `ratio` per
// step (below 1 walks down) until `limit`; refined by bisection between the last two steps.
template <class S>
double CornerDb3(const S& s, double from, double ratio, double limit)
{
  double prev = from;
  for (double f = from; ratio > 1 ? f < limit : f > limit; f *= ratio)
  {
    if (MagnitudeDb(s, f) < -3.0)
    {
      double lo = prev, hi = f; // lo passes, hi does not
      for (int i = 0; i < 60; ++i)
      {
        const double mid = std::sqrt(lo * hi);
        (MagnitudeDb(s, mid) < -3.0 ? hi : lo) = mid;
      }
      return std::sqrt(lo * hi);
    }
    prev = f;
  }
  return limit;
}

// Plain value of the knob's parameter at a normalised position: min + (max - min) * pos^shape.
double HighPassValue(double pos) { return 0.96 * std::pow(pos, 0.25); }
double LowPassValue(double pos) { return -0.3 + 0.3 * pos; }
double MidValue(double pos) { return 0.02 + 0.96 * pos; }

double RoundSignificant2(double v)
{
  if (v <= 0) return v;
  const double e = std::pow(10.0, std::floor(std::log10(v)) - 1);
  return std::round(v / e) * e;
}
} // namespace

double MeasureKnob(Knob k, double pos)
{
  switch (k)
  {
  case Knob::kHigh:
  {
    V553H s;
    s.Calc(kMeasureRate, 1.0 - pos);
    return MagnitudeDb(s, kHighEdge);
  }
  case Knob::kLow:
  {
    V553L s;
    s.Calc(kMeasureRate, 1.0 - pos);
    return MagnitudeDb(s, kLowEdge);
  }
  case Knob::kMid:
  {
    V553M s;
    s.Calc(kMeasureRate, 1.0 - MidValue(pos));
    double best = 0;
    for (double f = kLowEdge; f <= kHighEdge; f *= 1.002)
    {
      const double g = MagnitudeDb(s, f);
      if (std::fabs(g) > std::fabs(best)) best = g;
    }
    return best;
  }
  case Knob::kHighPass:
  {
    // The processing chain runs this section with F = twice the rate and X = Y = 1 - value.
    V553HP s;
    const double x = 1.0 - HighPassValue(pos);
    s.Calc(2.0 * kMeasureRate, x, x);
    return CornerDb3(s, 5000.0, 1.0 / 1.01, 1.0);
  }
  case Knob::kLowPass:
  {
    // F = half the rate, X = Y = -value.
    V553LP s;
    const double x = -LowPassValue(pos);
    s.Calc(0.5 * kMeasureRate, x, x);
    return CornerDb3(s, kLowEdge, 1.01, 0.5 * kMeasureRate);
  }
  case Knob::kOutput:
    return -15.0 + 30.0 * pos;
  }
  return 0;
}

double PositionFor(Knob k, double target)
{
  // Every measure rises with the position.
  double lo = 0, hi = 1;
  const double m0 = MeasureKnob(k, lo), m1 = MeasureKnob(k, hi);
  if (target < m0 || target > m1) return -1;
  for (int i = 0; i < 50; ++i)
  {
    const double mid = 0.5 * (lo + hi);
    (MeasureKnob(k, mid) < target ? lo : hi) = mid;
  }
  return 0.5 * (lo + hi);
}

double MidPeakFrequency()
{
  V553M s;
  s.Calc(kMeasureRate, 1.0 - MidValue(1.0));
  double best = 0, at = 0;
  for (double f = kLowEdge; f <= kHighEdge; f *= 1.0005)
  {
    const double g = MagnitudeDb(s, f);
    if (g > best) best = g, at = f;
  }
  return at;
}

bool IsBipolar(Knob k) { return k == Knob::kHigh || k == Knob::kMid || k == Knob::kLow || k == Knob::kOutput; }

std::string GainText(double db)
{
  const long v = std::lround(db);
  if (v == 0) return "0";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%ld", v < 0 ? -v : v);
  return (v < 0 ? std::string("\xE2\x88\x92") : std::string("+")) + buf;
}

std::string FrequencyText(double hz)
{
  char buf[32];
  if (hz >= 1000)
  {
    const double k = hz / 1000;
    if (k >= 10 || std::fabs(k - std::round(k)) < 1e-9) std::snprintf(buf, sizeof buf, "%.0fk", k);
    else std::snprintf(buf, sizeof buf, "%.1fk", k);
  }
  else
    std::snprintf(buf, sizeof buf, "%.0f", hz);
  return buf;
}

std::vector<ScaleMark> ScaleCandidates(Knob k)
{
  std::vector<ScaleMark> out;
  auto value = [&](double v, int prio, const std::string& text) {
    const double p = PositionFor(k, v);
    if (p > 0 && p < 1) out.push_back({p, text, prio});
  };
  if (k == Knob::kOutput)
  {
    for (int db = -15; db <= 15; db += 5)
      out.push_back({(db + 15) / 30.0, GainText(db), db == 0 || db == 15 || db == -15 ? 0 : (db % 10 ? 2 : 1)});
    return out;
  }
  if (IsBipolar(k))
  {
    // The ends read what they reach, rounded to whole dB; between them the round values.
    out.push_back({0.0, GainText(MeasureKnob(k, 0.0)), 0});
    out.push_back({1.0, GainText(MeasureKnob(k, 1.0)), 0});
    value(0.0, 0, "0");
    const int steps[] = {6, 3, 10, 9, 12};
    const int prios[] = {1, 2, 2, 3, 3};
    for (int i = 0; i < 5; ++i)
    {
      value(steps[i], prios[i], GainText(steps[i]));
      value(-steps[i], prios[i], GainText(-steps[i]));
    }
    return out;
  }
  out.push_back({0.0, FrequencyText(RoundSignificant2(MeasureKnob(k, 0.0))), 0});
  out.push_back({1.0, FrequencyText(RoundSignificant2(MeasureKnob(k, 1.0))), 0});
  if (k == Knob::kHighPass)
  {
    const double hz[] = {20, 50, 100, 200, 30, 40, 70, 150};
    const int prio[] = {1, 1, 1, 1, 2, 3, 3, 2};
    for (int i = 0; i < 8; ++i) value(hz[i], prio[i], FrequencyText(hz[i]));
  }
  else
  {
    const double hz[] = {2000, 5000, 10000, 1500, 3000, 7000, 15000};
    const int prio[] = {1, 1, 1, 2, 2, 3, 3};
    for (int i = 0; i < 7; ++i) value(hz[i], prio[i], FrequencyText(hz[i]));
  }
  return out;
}

} // namespace artwork
