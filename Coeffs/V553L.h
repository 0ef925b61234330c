#pragma once

// Low-band shelf of the channel strip, a third-order section.
//
// Bilinear transform (F in the role of the transform constant) of the
// analogue shelving network with the circuit's component values folded into
// the constants. X is the control position: 0 the largest boost (+11.5 dB at
// 20 Hz), 0.5 flat, 1 the largest cut. The processing chain passes F = sample
// rate, X = 1 - gain.
//
// Calc writes only the coefficients, so the histories carry over when the
// controls move; it is branch-free and may run every sample. Process,
// Reset, IsFinite: see detail::V553Section. Owned by value, no heap; one
// object per channel, used from the audio thread only.

#include "Coeffs/V553_p.h"

class V553L : public detail::V553Section<true>
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

        const T a0EF = F2 * (-4.2217208489666e-11 * X2 + 6.33253521931818e-11 * X + 7.62293019589732e-12);
        const T a0E = 1.22490721224026e-10 + a0EF;
        const T a0OF = F * (-1.15137727944598e-10 * X2 + 2.30274304535903e-10 * X + 6.56405548817487e-11);
        const T a0O = a0OF + 8.44361056308283e-15 * F3;

        // The polynomials in X of a1E and a0E are negations term for term, and
        // negation is exact: 3.67472163672079e-10 + F2 * (4.2217208489666e-11 * X2 -
        // 6.33253521931818e-11 * X - 7.62293019589732e-12), bit for bit.
        const T a1E = 3.67472163672079e-10 - a0EF;
        const T a1O = a0OF - 2.53308316892485e-14 * F3;

        const T b0EF = F2 * (-4.22162874070317e-11 * X2 + 2.11081437035158e-11 * X + 2.87051565146267e-11);
        const T b0E = -1.0207032738644e-11 + b0EF;
        const T b0OF = F * (9.59461077432538e-12 * X2 - 1.91892215486508e-11 * X + 4.31839141106551e-11);
        const T b0O = b0OF + 8.44325748140633e-15 * F3;

        // Likewise: -3.06210982159321e-11 + F2 * (4.22162874070317e-11 * X2 - 2.11081437035158e-11
        // * X - 2.87051565146267e-11).
        const T b1E = -3.06210982159321e-11 - b0EF;
        const T b1O = b0OF - 2.5329772444219e-14 * F3;

        detail::SetMirrored(s, a0E, a0O, a1E, a1O, b0E, b0O, b1E, b1O);
    }
};
