#include "statistics/robust.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace truvello::cli {

double median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  if (std::any_of(values.begin(), values.end(), [](double x) { return std::isnan(x); })) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  // Only the middle is put in place: the upper middle value, with the lower
  // half before it in no order, its largest the lower middle value.
  const std::size_t mid = values.size() / 2;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(mid);
  std::nth_element(values.begin(), middle, values.end());
  const double upper = *middle;
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), middle);
  return (lower + upper) / 2.0;
}

double quantile(std::span<const double> sorted, double q) {
  if (sorted.empty()) return 0.0;
  const double at = q * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(at));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (at - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}

double mad_spread(std::span<const double> values, double centre) {
  std::vector<double> deviations;
  deviations.reserve(values.size());
  for (const double x : values) deviations.push_back(std::fabs(x - centre));
  return kMadToSd * median(std::move(deviations));
}

double modified_z_score(double x, double centre, double spread) { return std::fabs(x - centre) / spread; }

}  // namespace truvello::cli
