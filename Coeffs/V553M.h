#pragma once

// Mid-band peak of the channel strip, a third-order section.
//
// Bilinear transform (F in the role of the transform constant) of the
// analogue peaking network with the circuit's component values folded into
// the constants. X is the control position: near 0 a boost of about +15 dB
// near 2.5 kHz (at 44.1 kHz), 0.5 flat, near 1 a matching cut. The processing
// chain passes F = sample rate, X = 1 - gain.
//
// Calc writes only the coefficients, so the histories carry over when the
// controls move; it is branch-free and may run every sample. Process,
// Reset, IsFinite: see detail::V553Section. Owned by value, no heap; one
// object per channel, used from the audio thread only.

#include "Coeffs/V553_p.h"

class V553M : public detail::V553Section<true>
{
public:
    // Coefficient k from the end is coefficient k with F negated, so each pair
    // shares its even (E) and odd (O) parts in F.
    void Calc(double F, double X) { Coefficients<double>(F, X, *this); }

    // The coefficients for element type T (double, or a vector with one
    // channel per lane: per lane the same operations, so the same bits), into
    // the fields a0 .. b3 of s (a section, or a struct of coefficients).
    template <class T, class S>
    static void Coefficients(T F, T X, S& s)
    {
        const T F2 = F * F;
        const T F3 = F2 * F;
        const T X2 = X * X;

        const T a0EF = F2 * (-2.79145718979582e-10 * X2 + 4.18715533309788e-10 * X + 1.9001829081179e-11);
        const T a0E = 9.76063114946011e-07 + a0EF;
        const T a0OF = F * (-7.61305756552751e-10 * X2 + 1.52260390020654e-09 * X + 3.57938069936691e-07);
        const T a0O = a0OF + 5.58302603544311e-15 * F3;

        // The polynomials in X of a1E and a0E are negations term for term, and
        // negation is exact: 2.92818934483803e-06 + F2 * (2.79145718979582e-10 * X2 -
        // 4.18715533309788e-10 * X - 1.9001829081179e-11), bit for bit.
        const T a1E = 2.92818934483803e-06 - a0EF;
        const T a1O = a0OF - 1.67490781063293e-14 * F3;

        const T b0EF = F2 * (-2.79139628660412e-10 * X2 + 1.39569814330206e-10 * X + 1.5855004026262e-10);
        const T b0E = -8.13343906353181e-08 + b0EF;
        const T b0OF = F * (6.34408246955481e-11 * X2 - 1.26881649391096e-10 * X + 3.5786700481932e-07);
        const T b0O = b0OF + 5.58279257320823e-15 * F3;

        // Likewise: -2.44003171905954e-07 + F2 * (2.79139628660412e-10 * X2 - 1.39569814330206e-10
        // * X - 1.5855004026262e-10).
        const T b1E = -2.44003171905954e-07 - b0EF;
        const T b1O = b0OF - 1.67483777196247e-14 * F3;

        detail::SetMirrored(s, a0E, a0O, a1E, a1O, b0E, b0O, b1E, b1O);
    }
};
