#pragma once

#include <string>
#include <vector>

namespace truvello::report {

// The shape of a handful of repeated measurements. On shared, noisy machines a
// single figure hides how far the runs disagreed, so every repeated figure is
// printed with its extremes.
struct Spread {
  double min = 0.0;
  double median = 0.0;
  double max = 0.0;
  std::size_t count = 0;
};

// The median of an even count is the mean of the two middle values. An empty
// input gives a zero spread with count 0.
Spread spread_of(std::vector<double> values);

// "<median> (min <min>, max <max>, n=<count>)", each with `digits` decimals.
std::string spread_text(const Spread& spread, int digits, const char* unit = "");

}  // namespace truvello::report
