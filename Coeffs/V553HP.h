#pragma once

// High-pass of the channel strip, a third-order section.
//
// Bilinear transform (F in the role of the transform constant) of the
// analogue high-pass network with the circuit's component values folded into
// the constants; X and Y are the two halves of a ganged control. X = Y = 1 is
// nearly flat (the numerator still sums to zero, so nothing passes at zero
// frequency), smaller values raise the corner. The processing chain passes
// F = twice the sample rate and two successive smoothed control values.
//
// Calc writes only the coefficients, so the histories carry over when the
// controls move; it is branch-free and may run every sample. Process,
// Reset, IsFinite: see detail::V553Section. Owned by value, no heap; one
// object per channel, used from the audio thread only.

#include "Coeffs/V553_p.h"

class V553HP : public detail::V553Section<true>
{
public:
    // Coefficient k from the end is coefficient k with F negated, so each pair
    // shares its even (E) and odd (O) parts in F.
    void Calc(double F, double X, double Y) { Coefficients<double>(F, X, Y, *this); }

    // The coefficients for element type T (double, or a vector with one
    // channel per lane: per lane the same operations, so the same bits), into
    // the fields a0 .. b3 of s (a section, or a struct of coefficients).
    template <class T, class S>
    static void Coefficients(T F, T X, T Y, S& s)
    {
        const T F2 = F * F;
        const T F3 = F2 * F;
        const T XY = X * Y;

        const T a0EF = F2 * (1.52890709065889e-09 * XY + 1.19254783648923e-11 * X + 1.25370320278968e-11 * Y + 9.77888736680688e-14);
        const T a0E = 1.52890709065889e-05 + a0EF;
        const T a0OF = F * (-1.52884593559836e-07 * X + 3.05781418131778e-07 * Y + 1.22317306769902e-09);
        const T a0O = a0OF
                           + F3 * (3.05778360378751e-15 * XY + 2.38507121095426e-17 * X + 2.38507121095426e-17 * Y + 1.86035554454432e-19);

        // The polynomials in X and Y of a1E and a0E are negations term for term,
        // and negation is exact: 4.58672127197666e-05 + F2 * (-1.52890709065889e-09 * XY -
        // 1.19254783648923e-11 * X - 1.25370320278968e-11 * Y - 9.77888736680688e-14), bit for
        // bit.
        const T a1E = 4.58672127197666e-05 - a0EF;
        const T a1O = a0OF
                           + F3 * (-9.17335081136254e-15 * XY - 7.15521363286278e-17 * X - 7.15521363286278e-17 * Y - 5.58106663363297e-19);

        const T b0I = 1.52886122451638e-09 * XY + 1.19251175512278e-11 * X + 1.19251175512278e-11 * Y + 9.30159168995765e-14;
        const T b0E = F2 * b0I;
        const T b0O = F3 * (1.52886122451638e-15 * XY + 1.19251175512278e-17 * X + 1.19251175512278e-17 * Y + 9.30159168995765e-20);

        // b1E is F2 * (-1.52886122451638e-09 * XY - 1.19251175512278e-11 * X
        // - 1.19251175512278e-11 * Y - 9.30159168995765e-14), whose polynomial
        // is 0 - b0I exactly (a polynomial of exactly 0 is +0 in both).
        const T b1E = F2 * (0.0 - b0I);
        const T b1O = F3 * (-4.58658367354914e-15 * XY - 3.57753526536833e-17 * X - 3.57753526536833e-17 * Y - 2.7904775069873e-19);

        detail::SetMirrored(s, a0E, a0O, a1E, a1O, b0E, b0O, b1E, b1O);
    }
};
