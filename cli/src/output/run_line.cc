#include "output/run_line.h"

#include <utility>

namespace truvello::cli {

std::vector<RunLine> lines_of(std::span<const ReportSource> sources, std::uint32_t benchmark) {
  std::vector<RunLine> out;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const InvocationView& view = *sources[i].view;
    const std::size_t repeats = view.source().run_count(benchmark);
    std::size_t repeat = 0;
    for (const RunOutcome& run : view.source().runs) {
      if (run.config.benchmark != benchmark) continue;
      ++repeat;
      std::string label = source_name(sources, i);
      if (repeats > 1) label += (label.empty() ? "run " : ", run ") + std::to_string(repeat);
      if (label.empty()) label = "this run";
      out.push_back(RunLine{i, &view.of(run), out.size(), std::move(label)});
    }
  }
  return out;
}

}  // namespace truvello::cli
