#include "spread.h"

#include <algorithm>
#include <cstdio>

#include "statistics/robust.h"

namespace truvello::report {

Spread spread_of(std::vector<double> values) {
  Spread s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  s.min = values.front();
  s.max = values.back();
  s.median = cli::median(values);
  return s;
}

std::string spread_text(const Spread& spread, int digits, const char* unit) {
  char text[160];
  std::snprintf(text, sizeof text, "%.*f%s (min %.*f, max %.*f, n=%zu)", digits, spread.median, unit, digits,
                spread.min, digits, spread.max, spread.count);
  return text;
}

}  // namespace truvello::report
