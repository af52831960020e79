#pragma once

// The HTML report: one self-contained file (inline CSS, inline SVG, no
// script, nothing fetched) that shows what the runs did, for a person to
// open, attach to a ticket or print.

#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "model/invocation.h"

namespace truvello::cli {

struct Comparison;

// One set of runs to show. A report of one invocation has one source with an
// empty label; a comparison has one per file, the baseline first, each
// labelled (its file name, say).
struct ReportSource {
  std::string label;
  const Invocation* invocation = nullptr;  // never null; outlives the call
};

// The whole document. With a comparison (of the sources given, the baseline
// first) it leads with the comparison's table and notes. Every benchmark
// that any source ran gets one section with a chart of the rate over time,
// in which every run of that benchmark (of every source, and every
// repetition within a source) is a line of its own; above it, when a source
// has a series of runs or sources are compared, a chart of each run's score
// with each source's series' score and interval. `date` is printed as
// given. Every text from outside (labels, machine facts, reasons, notes) is
// escaped.
std::string html_text(std::span<const ReportSource> sources, std::string_view date,
                      const Comparison* comparison = nullptr);

// `when` as the report prints its date: in UTC, so that it reads the same
// wherever it is opened ("2026-12-09 07:30 UTC").
std::string report_date(std::time_t when);

// Text made safe for HTML content and attribute values; control characters
// and bytes that are not UTF-8 shown as visible escapes (see terminal_safe).
std::string html_escape(std::string_view text);

}  // namespace truvello::cli
