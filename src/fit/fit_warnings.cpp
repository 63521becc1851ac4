// Warnings of the fits on the terminal: a total tune given where the fits compare fractional
// tunes, and a fit that ended with its targets unmet. The listing and the log are not touched.
#include "engine/operation_data.h"
#include "fit/fit_support.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace vorax {

namespace {

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

} // namespace

void warn_total_tune_target(std::string_view fit, int code, double target) {
  // The periodic analysis gives the tunes modulo one: a target of 1 or more can never be met,
  // and the fit chases it into an unstable or an integer tune.
  if ((code != 2 && code != 12) || !(std::fabs(target) >= 1.0))
    return;
  report_operation_warning(std::string(fit) + ": the target " + number(target) + " of code " +
                           std::to_string(code) + " (" + (code == 2 ? "nu x" : "nu y") +
                           ") is a total tune; the fits compare fractional tunes (0 to 1)");
}

// A target counts as met within a millionth of its size (at least 1e-6): far tighter than
// any optics needs, and far looser than the rounding the fits leave.
bool target_met(double value, double target) {
  return std::fabs(value - target) <= 1e-6 * std::fmax(1.0, std::fabs(target));
}

void warn_targets_unmet(std::string_view fit, std::string_view ending, int count, const int *codes,
                        const double *values, const double *targets, const double *weights) {
  int unmet = 0, first = -1, considered = 0;
  for (int j = 0; j < count; ++j) {
    if (weights != nullptr && weights[j] == 0.0)
      continue;
    ++considered;
    if (!target_met(values[j], targets[j])) {
      ++unmet;
      if (first < 0)
        first = j;
    }
  }
  if (unmet == 0)
    return;
  report_operation_warning(std::string(fit) + " ended " + std::string(ending) + " with " +
                           std::to_string(unmet) + " of " + std::to_string(considered) +
                           (considered == 1 ? " target" : " targets") + " unmet: code " +
                           std::to_string(codes[first]) + " is " + number(values[first]) + " for " +
                           number(targets[first]));
}

} // namespace vorax
