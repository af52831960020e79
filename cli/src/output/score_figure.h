#pragma once

// The chart of each run's score of one benchmark, above its rate chart: the
// runs of every source side by side, each source's series' score as a line
// and its 95 % interval as a band, disturbed runs marked and labelled.

#include <cstdint>
#include <span>
#include <string>

#include "output/report_source.h"

namespace truvello::cli {

// The <figure>, with its legend and the chart in words; empty when it would
// say nothing. `comparing`: the sources are compared, and the figure shows
// as soon as one of them has a completed run; a report of one invocation
// shows it for a series of two completed runs or more.
std::string score_figure(std::span<const ReportSource> sources, std::uint32_t benchmark, bool comparing);

}  // namespace truvello::cli
