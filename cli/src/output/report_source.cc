#include "output/report_source.h"

#include <algorithm>

namespace truvello::cli {

std::string source_name(std::span<const ReportSource> sources, std::size_t i) {
  if (!sources[i].label.empty()) return sources[i].label;
  if (sources.size() > 1) return "source " + std::to_string(i + 1);
  return "";
}

std::vector<std::uint32_t> benchmarks_in_order(std::span<const ReportSource> sources) {
  std::vector<std::uint32_t> out;
  for (const ReportSource& source : sources) {
    for (const RunOutcome& run : source.view->source().runs) {
      if (std::find(out.begin(), out.end(), run.config.benchmark) == out.end()) out.push_back(run.config.benchmark);
    }
  }
  return out;
}

}  // namespace truvello::cli
