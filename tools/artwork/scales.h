// scales.h: the knob scales, measured from the filter models.
//
// Each knob position (the normalised value 0..1 the editor shows, frame = 1 + 30 x value)
// maps through its parameter's range and shape to the control the processing chain hands
// to the filter model; the model is run at 48 kHz and its magnitude response read:
//   HIGH, LOW   shelf gain at the band's edge (20 kHz, 20 Hz)
//   MID         peak gain (largest deviation from 20 Hz to 20 kHz)
//   HPF, LPF    -3 dB corner frequency
//   OUTPUT      the output gain itself (-15 .. +15 dB, linear in position)
// A scale is a set of round values placed where the model reaches them, plus the two ends
// labelled with what they measure; the painter keeps those whose labels have room.
//
// Pure functions; no state.
#ifndef TORVEN_TOOLS_ARTWORK_SCALES_H
#define TORVEN_TOOLS_ARTWORK_SCALES_H

#include <string>
#include <vector>

namespace artwork
{

constexpr double kMeasureRate = 48000.0;

enum class Knob
{
  kHigh,
  kMid,
  kLow,
  kHighPass,
  kLowPass,
  kOutput
};

// What the knob's scale reads (dB or Hz) at a position.
double MeasureKnob(Knob k, double position);

// The position in 0..1 where the measure reaches target (bisection on a monotonic measure);
// -1 when the target lies outside what the knob covers.
double PositionFor(Knob k, double target);

// Centre frequency of the mid band's peak at full boost.
double MidPeakFrequency();

struct ScaleMark
{
  double position; // 0..1
  std::string text;
  int priority;    // lower first: ends and the flat point, then the 1-2-5 values
};

// Candidate labels, in the order the painter tries them.
std::vector<ScaleMark> ScaleCandidates(Knob k);

// Label text for a value: "+6", "−3" (a true minus), "0"; "50", "1.5k", "19k".
std::string GainText(double db);
std::string FrequencyText(double hz);

// Whether the knob's arc and its flat point sit at the centre (true) or at the minimum.
bool IsBipolar(Knob k);

} // namespace artwork

#endif
