#pragma once

// Low-pass of the channel strip, a second-order section.
//
// Bilinear transform (F in the role of the transform constant) of the
// analogue low-pass network with the circuit's component values folded into
// the constants; the numerator is fixed, X and Y (the two halves of a ganged
// control) move the poles. X = Y = 0 is nearly flat, larger values lower the
// corner. The processing chain passes F = half the sample rate and two
// successive smoothed control values.
//
// Calc writes only the coefficients, so the histories carry over when the
// controls move; it is branch-free and may run every sample. Process,
// Reset, IsFinite: see detail::V553Section. Owned by value, no heap; one
// object per channel, used from the audio thread only.

#include "Coeffs/V553_p.h"

class V553LP : public detail::V553Section<false>
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
        const T XY = X * Y;

        const T a0E = 0.000293230378280438
                           + F2 * (1.65381933350167e-09 * XY + 1.2899790801313e-11 * X + 1.2899790801313e-11 * Y + 1.00618368250242e-13);
        const T a0O = F * (3.51876453936525e-07 * X + 3.51890235626487e-07 * Y + 5.4893801785915e-09);

        const T a1E = 0.000586460756560875
                           + F2 * (-3.30763866700334e-09 * XY - 2.5799581602626e-11 * X - 2.5799581602626e-11 * Y - 2.01236736500483e-13);

        s.a0 = a0E + a0O;
        s.a1 = a1E;
        s.a2 = a0E - a0O;
        detail::Splat(s.b0, 0.000293227446005978);
        detail::Splat(s.b1, 0.000586454892011955);
        detail::Splat(s.b2, 0.000293227446005978);
    }
};
