#pragma once
// The discrete Fourier transform the measuring tools share: the demo's band
// levels and the response measurement.

#include <complex>
#include <vector>

namespace plughost {

// In place, iterative radix-2; x.size() must be a power of two (anything
// else is left alone and false returned). Forward: X[k] = sum x[n]
// e^(-2 pi i k n / N); inverse: the conjugate kernel, divided by N, so the
// pair round-trips.
bool Fft(std::vector<std::complex<double>>& x, bool inverse = false);

// The smallest power of two >= n (1 for n <= 1).
size_t NextPowerOfTwo(size_t n);

}  // namespace plughost
