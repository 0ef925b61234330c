#pragma once

// Shared state and recursion of the V553 filter sections (private).

#include <cmath>
#include <type_traits>

namespace detail
{

// v in every lane of out (out = v for double). By reference: a vector
// returned by value would take a calling convention that differs with AVX.
template <class T>
inline void Splat(T& out, double v)
{
    if constexpr (std::is_same_v<T, double>)
        out = v;
    else
        out = v - T{}; // v - (+0) is v, in every lane
}

// The recursion and its state for any element type T: double for one
// channel, or a vector of doubles holding several channels in its lanes (the
// processing chain runs both channels that way). Per lane the operations are
// exactly those of the double form, so every lane gets the same bits.
template <class T, bool kThirdOrder>
struct V553Recursion
{
    T x{}, y{};                 // last input, last output
    T x1{}, x2{}, x3{};         // previous inputs, newest first
    T y1{}, y2{}, y3{};         // previous outputs, newest first
    T a0{}, a1{}, a2{}, a3{};   // denominator
    T b0{}, b1{}, b2{}, b3{};   // numerator

    // One sample through the recursion. The accumulation order is fixed (it
    // decides the last bits of every output): numerator terms newest first,
    // then the feedback terms, then one division by a0.
    T Process(T in) { return ProcessWith(in, *this); }

    // The same with the coefficients (a0 .. a3, b0 .. b3) taken from c.
    template <class C>
    T ProcessWith(T in, const C& c)
    {
        x = in;
        T acc = c.b0 * x;
        acc += c.b1 * x1;
        acc += c.b2 * x2;
        if constexpr (kThirdOrder)
            acc += c.b3 * x3;
        acc -= c.a1 * y1;
        acc -= c.a2 * y2;
        if constexpr (kThirdOrder)
            acc -= c.a3 * y3;
        y = acc / c.a0;
        x3 = x2;
        x2 = x1;
        x1 = x;
        y3 = y2;
        y2 = y1;
        y1 = y;
        return y;
    }

};

// Third order: the coefficients a0 .. a3, b0 .. b3 of s (a section, or any
// struct with those fields) from the even (E) and odd (O) parts in F of a0,
// a1, b0 and b1; the mirror rule gives a2, a3, b2 and b3.
template <class S, class T>
inline void SetMirrored(S& s, T a0E, T a0O, T a1E, T a1O, T b0E, T b0O, T b1E, T b1O)
{
    s.a0 = a0E + a0O;
    s.a1 = a1E + a1O;
    s.a2 = a1E - a1O;
    s.a3 = a0E - a0O;
    s.b0 = b0E + b0O;
    s.b1 = b1E + b1O;
    s.b2 = b1E - b1O;
    s.b3 = b0E - b0O;
}

// One IIR section in direct form I with unnormalised coefficients:
//
//     a0 y[n] = b0 x[n] + b1 x[n-1] + b2 x[n-2] (+ b3 x[n-3])
//             - a1 y[n-1] - a2 y[n-2] (- a3 y[n-3])
//
// The third-order terms enter only when kThirdOrder; the histories x3, y3 are
// shifted along either way. The fields are the section's whole state, all
// 0.0 after construction: Calc (in the derived model) must run before the
// first Process.
//
// There is no denormal or overflow protection in the recursion, and finite
// audio keeps exactly this arithmetic. But once a NaN or an infinity enters a
// history it stays there for good (it silences everything after it), so the
// caller checks and clears: IsFinite() tells, Reset() clears,
// ClearIfNonFinite() does both. A non-finite value in any history of sections
// run in series shows in the last section's output at every later sample, so
// the cheapest check per channel is std::isfinite on that one output, followed
// (rarely) by ClearIfNonFinite() on each section: the sections before the hit
// one keep their state.
template <bool kThirdOrder>
struct V553Section : V553Recursion<double, kThirdOrder>
{
    using Base = V553Recursion<double, kThirdOrder>;
    using Base::x, Base::y, Base::x1, Base::x2, Base::x3, Base::y1, Base::y2, Base::y3;

    // Clears the histories; the coefficients stay.
    void Reset()
    {
        x = y = 0.0;
        x1 = x2 = x3 = 0.0;
        y1 = y2 = y3 = 0.0;
    }

    // False when a history holds a NaN or an infinity. v * 0.0 is 0 for every
    // finite v and NaN otherwise, so one compare covers all six values
    // without branches (and without the false alarm a plain sum of large
    // finite values could raise).
    bool IsFinite() const
    {
        return (x1 * 0.0 + x2 * 0.0 + x3 * 0.0 + y1 * 0.0 + y2 * 0.0 + y3 * 0.0) == 0.0;
    }

    // Reset() if a history is non-finite; true when it had to.
    bool ClearIfNonFinite()
    {
        if (IsFinite())
            return false;
        Reset();
        return true;
    }
};

} // namespace detail
