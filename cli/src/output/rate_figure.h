#pragma once

// The chart of one benchmark's rate over the measurement window, every run
// of it (of every source, every repetition) a stepped line of its own, with
// its legend: the figure in the middle of each benchmark's section.

#include <cstdint>
#include <span>
#include <string>

#include "output/run_line.h"

namespace truvello::cli {

// The <figure>: the SVG chart, titled and described in words for screen
// readers, and the legend under it.
std::string rate_figure(std::uint32_t benchmark, std::span<const RunLine> lines);

}  // namespace truvello::cli
