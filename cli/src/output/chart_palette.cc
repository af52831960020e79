#include "output/chart_palette.h"

namespace truvello::cli {

std::string series_class(std::size_t index) {
  std::string out = "s";
  out += std::to_string(index % kChartColours);
  out += " d";
  out += std::to_string(index % kChartDashes);
  return out;
}

}  // namespace truvello::cli
