#include "tools/fft.h"

#include <cmath>

namespace plughost {

bool Fft(std::vector<std::complex<double>>& x, bool inverse)
{
  const size_t n = x.size();
  if (n < 2 || (n & (n - 1)) != 0) return n == 1;
  for (size_t i = 1, j = 0; i < n; ++i)
  {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(x[i], x[j]);
  }
  // Twiddles from one table of directly computed sines: a running product
  // would drift by about n ulps over a long transform.
  const double sign = inverse ? 1.0 : -1.0;
  std::vector<std::complex<double>> w(n / 2);
  for (size_t k = 0; k < n / 2; ++k)
  {
    const double a = 2.0 * 3.14159265358979323846 * (double)k / (double)n;
    w[k] = std::complex<double>(std::cos(a), sign * std::sin(a));
  }
  for (size_t len = 2; len <= n; len <<= 1)
  {
    const size_t half = len / 2, stride = n / len;
    for (size_t i = 0; i < n; i += len)
    {
      for (size_t k = 0; k < half; ++k)
      {
        const std::complex<double> u = x[i + k], v = x[i + k + half] * w[k * stride];
        x[i + k] = u + v;
        x[i + k + half] = u - v;
      }
    }
  }
  if (inverse)
  {
    const double scale = 1.0 / (double)n;
    for (auto& v : x) v *= scale;
  }
  return true;
}

size_t NextPowerOfTwo(size_t n)
{
  size_t p = 1;
  while (p < n) p <<= 1;
  return p;
}

}  // namespace plughost
