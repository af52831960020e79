#pragma once

// The HTML report of runs: of one invocation, or of several saved files
// compared. One self-contained page (html_page.h).

#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "output/report_source.h"

namespace truvello::cli {

struct Comparison;

// The whole document. With a comparison (of the sources given, the baseline
// first) it leads with the comparison's table and notes. Every benchmark
// that any source ran gets one section with a chart of the rate over time,
// in which every run of that benchmark (of every source, and every
// repetition within a source) is a line of its own; above it, when a source
// has a series of runs or sources are compared, a chart of each run's score
// with each source's series' score and interval. `date` is printed as
// given. Every text from outside (labels, machine facts, reasons, notes) is
// escaped. Every figure derived from the runs is read from the sources'
// views.
std::string html_text(std::span<const ReportSource> sources, std::string_view date,
                      const Comparison* comparison = nullptr);

// `when` as the pages print their date: in UTC, so that it reads the same
// wherever it is opened ("2026-12-09 07:30 UTC").
std::string report_date(std::time_t when);

}  // namespace truvello::cli
