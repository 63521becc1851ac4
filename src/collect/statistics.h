// Statistics of one column of collected values: mean, root mean square, standard deviation,
// extremes and percentiles, computed so that the same values give the same bits in any order.
#pragma once

#include <cstddef>
#include <vector>

namespace vorax::collect {

struct ColumnStatistics {
  std::size_t count = 0;     // finite values used
  std::size_t nonfinite = 0; // nan and inf values, left out
  double mean = 0, rms = 0, std = 0, min = 0, max = 0;
  std::vector<double> percentiles; // one per asked percentile, in the order asked
};

// rms is the root mean square of the values, sqrt(sum x^2 / n), not the spread about the
// mean; std is that spread, sqrt(sum (x - mean)^2 / n). Percentile p (0 to 100) interpolates
// linearly between the sorted values x_0 .. x_{n-1} at rank h = (n - 1) p / 100. With no
// finite value every result is nan.
ColumnStatistics statistics_of(std::vector<double> values, const std::vector<double> &percentiles);

} // namespace vorax::collect
