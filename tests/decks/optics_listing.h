// Reading numbers back from matrix-operation listings in the deck tests.
#pragma once

#include "harness.h"

#include <cmath>
#include <string>
#include <string_view>

namespace vorax::test {

// The first number after the n-th occurrence of label (NaN when there are fewer).
inline double nth_number(const std::string &text, std::string_view label, int n) {
  std::size_t at = 0;
  for (int k = 1; k <= n; ++k) {
    at = text.find(label, k == 1 ? 0 : at + 1);
    if (at == std::string::npos)
      return NAN;
  }
  return number_after(text.substr(at), label);
}

} // namespace vorax::test
