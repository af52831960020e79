#pragma once

// One run of a benchmark as the report draws it: a line of the rate chart
// and a row of the results table, labelled by its source and repetition.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "output/report_source.h"

namespace truvello::cli {

struct RunLine {
  std::size_t source = 0;        // index into the sources
  const RunView* run = nullptr;  // the run with its figures, in its source's view
  std::size_t index = 0;         // position among the chart's lines: picks colour and dash
  std::string label;             // "this run", "run 2", "base.json, run 2"

  const RunOutcome& outcome() const { return *run->run; }
};

// Every run of `benchmark`, source by source, each in its run order.
std::vector<RunLine> lines_of(std::span<const ReportSource> sources, std::uint32_t benchmark);

}  // namespace truvello::cli
