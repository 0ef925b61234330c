#pragma once

// High-band shelf of the channel strip, a second-order section.
//
// The coefficients are the bilinear transform (F in the role of the transform
// constant) of the analogue shelving network with the component values of the
// modelled circuit folded into the constants. X is the control position:
// 0 the largest boost (+13.7 dB at 20 kHz at 44.1 kHz), 0.5 flat, 1 the
// largest cut. The processing chain passes F = sample rate, X = 1 - gain.
//
// Calc writes only the coefficients, so the histories carry over when the
// controls move; it is branch-free and may run every sample. Process,
// Reset, IsFinite: see detail::V553Section. Owned by value, no heap; one
// object per channel, used from the audio thread only.

#include "Coeffs/V553_p.h"

class V553H : public detail::V553Section<false>
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
        const T X2 = X * X;

        const T a0E = 2.71081253402608e-06
                           + F2 * (-6.55997053143411e-10 * X2 + 9.83988423539763e-10 * X + 8.52914603788545e-11);
        const T a0O = F * (-1.78908111027219e-09 * X2 + 3.57814433010599e-09 * X + 9.94187430766337e-07);

        const T a1E = 5.42162506805215e-06
                           + F2 * (1.31199410628682e-09 * X2 - 1.96797684707953e-09 * X - 1.70582920757709e-10);

        const T b0E = -2.25889373551206e-07
                           + F2 * (-6.55982740792703e-10 * X2 + 3.27991370396351e-10 * X + 4.13269126699403e-10);
        const T b0O = F * (1.49086986543796e-10 * X2 - 2.98173973087592e-10 * X + 9.93893862317057e-07);

        const T b1E = -4.51778747102413e-07
                           + F2 * (1.31196548158541e-09 * X2 - 6.55982740792703e-10 * X - 8.26538253398806e-10);

        s.a0 = a0E + a0O;
        s.a1 = a1E;
        s.a2 = a0E - a0O;
        s.b0 = b0E + b0O;
        s.b1 = b1E;
        s.b2 = b0E - b0O;
    }
};
