// Numbers read back from listings.
#include "support/listings.h"

#include "harness.h"

#include <cmath>

namespace vorax::test {

double nth_number(const std::string &text, std::string_view label, int n) {
  std::size_t at = 0;
  for (int k = 1; k <= n; ++k) {
    at = text.find(label, k == 1 ? 0 : at + 1);
    if (at == std::string::npos)
      return NAN;
  }
  return number_after(text.substr(at), label);
}

double last_number_after(const std::string &text, std::string_view label) {
  const std::size_t at = text.rfind(label);
  return at == std::string::npos ? NAN : number_after(text.substr(at), label);
}

} // namespace vorax::test
