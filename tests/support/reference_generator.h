// The program's random generator written independently: 64-bit arithmetic modulo 2^31, the
// integer state rounded to single precision, then scaled by a power of two (exact); the Gaussian
// as the sum of twelve draws less 6; and the three distributions of the random options (sign,
// uniform of unit variance, Gaussian cut at a number of sigmas).
#pragma once

#include <cmath>
#include <cstdint>

namespace vorax::test {

struct Reference {
  std::uint64_t s;
  double next() {
    s = (131 * s + 32743) % (1ull << 31);
    return std::ldexp(static_cast<double>(static_cast<float>(s)), -31);
  }
  double gauss() {
    double sum = 0.0;
    for (int i = 0; i < 12; ++i)
      sum += next();
    return sum - 6.0;
  }
  double factor(int option, double cut) {
    switch (option) {
    case 1:
      return next() >= 0.5 ? 1.0 : -1.0;
    case 2:
      return (next() - 0.5) * 2.0 * std::sqrt(3.0);
    default:
      for (;;)
        if (const double g = gauss(); std::fabs(g) <= cut)
          return g;
    }
  }
};

} // namespace vorax::test
