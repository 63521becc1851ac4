// Statistics of one column of collected values.
#include "collect/statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vorax::collect {

namespace {

// Compensated (Neumaier) summation: a long column of similar values keeps its digits.
class Sum {
public:
  void add(double x) {
    const double t = sum_ + x;
    if (std::fabs(sum_) >= std::fabs(x))
      carry_ += (sum_ - t) + x;
    else
      carry_ += (x - t) + sum_;
    sum_ = t;
  }
  double value() const { return sum_ + carry_; }

private:
  double sum_ = 0, carry_ = 0;
};

// A total order: -0 before +0, so that the sorted values, and with them every sum and
// extreme, do not depend on the order the runs came in.
bool before(double a, double b) {
  return a < b || (a == b && std::signbit(a) && !std::signbit(b));
}

} // namespace

ColumnStatistics statistics_of(std::vector<double> values, const std::vector<double> &percentiles) {
  ColumnStatistics s;
  const auto finite_end =
      std::partition(values.begin(), values.end(), [](double x) { return std::isfinite(x); });
  s.nonfinite = static_cast<std::size_t>(values.end() - finite_end);
  values.erase(finite_end, values.end());
  std::sort(values.begin(), values.end(), before);
  s.count = values.size();
  if (values.empty()) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    s.mean = s.rms = s.std = s.min = s.max = nan;
    s.percentiles.assign(percentiles.size(), nan);
    return s;
  }
  const double n = static_cast<double>(values.size());
  Sum sum, squares;
  for (double x : values) {
    sum.add(x);
    squares.add(x * x);
  }
  s.mean = sum.value() / n;
  s.rms = std::sqrt(squares.value() / n);
  Sum deviations;
  for (double x : values)
    deviations.add((x - s.mean) * (x - s.mean));
  s.std = std::sqrt(deviations.value() / n);
  s.min = values.front();
  s.max = values.back();
  for (double p : percentiles) {
    const double h = (n - 1) * p / 100;
    const std::size_t low = std::min(static_cast<std::size_t>(h), values.size() - 1);
    const double fraction = h - static_cast<double>(low);
    s.percentiles.push_back(fraction > 0 && low + 1 < values.size()
                                ? values[low] + fraction * (values[low + 1] - values[low])
                                : values[low]);
  }
  return s;
}

} // namespace vorax::collect
