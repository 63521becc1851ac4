// Fortran edit descriptors for output records.
#include "common/format.h"

#include "common/limits.h"

#include <cmath>
#include <cstdio>

namespace vorax {

namespace {

std::string stars(int w) {
  return std::string(static_cast<std::size_t>(w > 0 ? w : 0), '*');
}

std::string right(const std::string &s, int w) {
  if (static_cast<int>(s.size()) > w)
    return stars(w);
  return std::string(static_cast<std::size_t>(w) - s.size(), ' ') + s;
}

// NaN and infinities as the run-time library writes them, or asterisks when too narrow.
std::string special(double v, int w) {
  if (std::isnan(v))
    return w >= 3 ? right("NaN", w) : stars(w);
  const bool neg = v < 0;
  if (w >= 8 + (neg ? 1 : 0))
    return right(neg ? "-Infinity" : "Infinity", w);
  if (w >= 3 + (neg ? 1 : 0))
    return right(neg ? "-Inf" : "Inf", w);
  return stars(w);
}

std::string exponent_form(double v, int w, int d, char letter) {
  if (w <= 0)
    return {};
  if (!std::isfinite(v))
    return special(v, w);
  const bool neg = std::signbit(v) && v != 0.0;
  const double a = std::fabs(v);
  std::string digits(static_cast<std::size_t>(d > 0 ? d : 0), '0');
  int exp10 = 0;
  if (a != 0.0 && d > 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*e", d - 1, a);
    // buf is "D.DDDDe+XX": collect the d significant digits and the exponent.
    std::string_view s(buf);
    std::size_t epos = s.find('e');
    std::string sig;
    for (std::size_t i = 0; i < epos; ++i)
      if (s[i] != '.')
        sig += s[i];
    digits = sig;
    exp10 = std::atoi(buf + epos + 1) + 1;
  } else if (a != 0.0 && d == 0) {
    exp10 = static_cast<int>(std::floor(std::log10(a))) + 1;
  }
  std::string exp;
  const int ae = exp10 < 0 ? -exp10 : exp10;
  char eb[16];
  if (ae <= 99) {
    std::snprintf(eb, sizeof eb, "%c%c%02d", letter, exp10 < 0 ? '-' : '+', ae);
  } else if (ae <= 999) {
    std::snprintf(eb, sizeof eb, "%c%03d", exp10 < 0 ? '-' : '+', ae);
  } else {
    return stars(w);
  }
  exp = eb;
  std::string body = "." + digits + exp;
  std::string with_zero = "0" + body;
  if (neg) {
    body = "-" + body;
    with_zero = "-" + with_zero;
  }
  if (static_cast<int>(with_zero.size()) <= w)
    return right(with_zero, w);
  return right(body, w);
}

} // namespace

std::string fI(long long value, int w) {
  if (w <= 0)
    return {};
  return right(std::to_string(value), w);
}

std::string fI_fit(long long value, int w) {
  const int digits = static_cast<int>(std::to_string(value).size());
  return fI(value, digits > w ? digits : w);
}

int position_width(int w) {
  const int digits = static_cast<int>(std::to_string(machine_limits().maxpos_elements).size());
  return digits > w ? digits : w;
}

std::string fF(double value, int w, int d) {
  if (w <= 0)
    return {};
  if (!std::isfinite(value))
    return special(value, w);
  char buf[512];
  const double a = std::fabs(value);
  if (a >= 1e300)
    return stars(w);
  std::snprintf(buf, sizeof buf, "%.*f", d, a);
  std::string s(buf);
  if (d <= 0)
    s += '.';
  // A value that rounds to zero keeps its minus sign, as the run-time library prints it.
  const bool neg = std::signbit(value) && value != 0.0;
  if (s.size() > 1 && s[0] == '0' && s[1] == '.') {
    std::string with_zero = (neg ? "-" : "") + s;
    if (static_cast<int>(with_zero.size()) <= w)
      return right(with_zero, w);
    s.erase(0, 1);
  }
  if (neg)
    s = "-" + s;
  return right(s, w);
}

std::string fE(double value, int w, int d) {
  return exponent_form(value, w, d, 'E');
}
std::string fD(double value, int w, int d) {
  return exponent_form(value, w, d, 'D');
}

std::string fA(std::string_view text, int w) {
  if (w <= 0)
    return {};
  if (static_cast<int>(text.size()) >= w)
    return std::string(text.substr(0, static_cast<std::size_t>(w)));
  return std::string(static_cast<std::size_t>(w) - text.size(), ' ') + std::string(text);
}

std::string blanks(int n) {
  return std::string(static_cast<std::size_t>(n > 0 ? n : 0), ' ');
}

std::string repeat(char ch, int n) {
  return std::string(static_cast<std::size_t>(n > 0 ? n : 0), ch);
}

} // namespace vorax
