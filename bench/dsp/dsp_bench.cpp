// Per-sample cost of the DSP pieces, one channel unless named stereo:
//  - each filter model's Calc + Process, as the chain runs them every sample
//    (the control moves a little each sample, so nothing is hoisted);
//  - a baseline: a plain normalised biquad with fixed coefficients;
//  - the saturation path at N = 4 and 16 (single channel and both channels
//    interleaved), and the Bessel design the chain runs once per block.
// Items processed = samples, so the report's rate inverts to ns/sample.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "Coeffs/V553H.h"
#include "Coeffs/V553HP.h"
#include "Coeffs/V553L.h"
#include "Coeffs/V553LP.h"
#include "Coeffs/V553M.h"
#include "Coeffs/saturation.h"

namespace
{

constexpr int kBlock = 4096;

std::vector<double> Input()
{
    std::vector<double> v(kBlock);
    for (int i = 0; i < kBlock; ++i)
        v[i] = 0.5 * std::sin(0.031 * i) + 0.1 * std::sin(0.71 * i);
    return v;
}

// Control glides like a smoothed parameter (distinct every sample).
template <class S, class CalcFn>
void RunModel(benchmark::State& state, CalcFn calc)
{
    const std::vector<double> in = Input();
    S s;
    double z = 0.0;
    const double a = std::exp(-6.283185307179586 / 44100.0), b = 1.0 - a;
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
        {
            z = a * z + b * 0.7;
            calc(s, z);
            acc += s.Process(in[i]);
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_V553H(benchmark::State& st) { RunModel<V553H>(st, [](V553H& s, double z) { s.Calc(44100.0, 1.0 - z); }); }
void BM_V553M(benchmark::State& st) { RunModel<V553M>(st, [](V553M& s, double z) { s.Calc(44100.0, 1.0 - z); }); }
void BM_V553L(benchmark::State& st) { RunModel<V553L>(st, [](V553L& s, double z) { s.Calc(44100.0, 1.0 - z); }); }
void BM_V553HP(benchmark::State& st)
{
    RunModel<V553HP>(st, [](V553HP& s, double z) { s.Calc(88200.0, 1.0 - z, 1.0 - 0.999 * z); });
}
void BM_V553LP(benchmark::State& st)
{
    RunModel<V553LP>(st, [](V553LP& s, double z) { s.Calc(22050.0, 0.3 * z, 0.299 * z); });
}

// Baseline: Process only, no Calc (the cost of the recursion alone).
void BM_V553M_ProcessOnly(benchmark::State& st)
{
    RunModel<V553M>(st, [](V553M& s, double) {
        if (s.a0 == 0.0)
            s.Calc(44100.0, 0.3);
    });
}

// Baseline: a normalised biquad, the cheapest usable filter section.
void BM_BaselineBiquad(benchmark::State& state)
{
    const std::vector<double> in = Input();
    const double b0 = 0.2, b1 = 0.4, b2 = 0.2, a1 = -0.5, a2 = 0.3;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
        {
            const double y = b0 * in[i] + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
            x2 = x1;
            x1 = in[i];
            y2 = y1;
            y1 = y;
            acc += y;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

template <int N>
void BM_SaturationPath(benchmark::State& state)
{
    const std::vector<double> in = Input();
    WDL_BesselFilterCoeffs c;
    c.Calc(0.2 / N);
    BesselStage up, down;
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += SaturationPath<N>(10.0 * in[i], c, up, down);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

// Both channels per item (one stereo frame).
template <int N>
void BM_SaturationPathStereo(benchmark::State& state)
{
    const std::vector<double> in = Input();
    WDL_BesselFilterCoeffs cL, cR;
    cL.Calc(0.2 / N);
    cR.Calc(0.2 / N);
    BesselStage upL, downL, upR, downR;
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
        {
            double l, r;
            SaturationPathStereo<N>(10.0 * in[i], -10.0 * in[i], cL, upL, downL, cR, upR, downR, l, r);
            acc += l + r;
        }
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

// Both channels as two single-channel calls, for comparison with the above.
template <int N>
void BM_SaturationPathTwoMono(benchmark::State& state)
{
    const std::vector<double> in = Input();
    WDL_BesselFilterCoeffs cL, cR;
    cL.Calc(0.2 / N);
    cR.Calc(0.2 / N);
    BesselStage upL, downL, upR, downR;
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += SaturationPath<N>(10.0 * in[i], cL, upL, downL) + SaturationPath<N>(-10.0 * in[i], cR, upR, downR);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_Waveshaper(benchmark::State& state)
{
    const std::vector<double> in = Input();
    for (auto _ : state)
    {
        double acc = 0.0;
        for (int i = 0; i < kBlock; ++i)
            acc += zuz553a_shape(2.0 * in[i]);
        benchmark::DoNotOptimize(acc);
    }
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_BesselDesign(benchmark::State& state)
{
    WDL_BesselFilterCoeffs c;
    double alpha = 0.05;
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(alpha);
        c.Calc(alpha);
        benchmark::DoNotOptimize(c);
    }
}

} // namespace

BENCHMARK(BM_BaselineBiquad);
BENCHMARK(BM_V553M_ProcessOnly);
BENCHMARK(BM_V553H);
BENCHMARK(BM_V553M);
BENCHMARK(BM_V553L);
BENCHMARK(BM_V553HP);
BENCHMARK(BM_V553LP);
BENCHMARK(BM_Waveshaper);
BENCHMARK_TEMPLATE(BM_SaturationPath, 4);
BENCHMARK_TEMPLATE(BM_SaturationPath, 16);
BENCHMARK_TEMPLATE(BM_SaturationPathStereo, 4);
BENCHMARK_TEMPLATE(BM_SaturationPathStereo, 16);
BENCHMARK_TEMPLATE(BM_SaturationPathTwoMono, 4);
BENCHMARK_TEMPLATE(BM_SaturationPathTwoMono, 16);
BENCHMARK(BM_BesselDesign);

BENCHMARK_MAIN();
