#include "spread.h"

#include <algorithm>
#include <cstdio>

namespace truvello::report {

Spread spread_of(std::vector<double> values) {
  Spread s;
  s.count = values.size();
  if (values.empty()) return s;
  std::sort(values.begin(), values.end());
  const std::size_t mid = values.size() / 2;
  s.min = values.front();
  s.max = values.back();
  s.median = values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
  return s;
}

std::string spread_text(const Spread& spread, int digits, const char* unit) {
  char text[160];
  std::snprintf(text, sizeof text, "%.*f%s (min %.*f, max %.*f, n=%zu)", digits, spread.median, unit, digits,
                spread.min, digits, spread.max, spread.count);
  return text;
}

}  // namespace truvello::report
