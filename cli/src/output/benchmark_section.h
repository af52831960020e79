#pragma once

// One benchmark's section of the run and comparison report: the chart of
// its run scores (when there is a series or a comparison), the table of its
// runs, their warnings, the chart of their rates and the exact samples.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "output/report_source.h"
#include "statistics/warnings.h"

namespace truvello::cli {

struct BenchmarkSection {
  std::string html;
  bool scores_shown = false;  // it holds a chart of run scores, which the footer then explains
};

// `comparing`: the sources are compared (see score_figure). Machine-wide
// warnings of each source's runs go to `machine_wide` (one per source), for
// the machine section to show once.
BenchmarkSection benchmark_section(std::span<const ReportSource> sources, std::uint32_t benchmark, bool comparing,
                                   std::vector<MachineWideWarnings>& machine_wide);

}  // namespace truvello::cli
