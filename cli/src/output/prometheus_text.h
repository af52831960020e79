#pragma once

// The text exposition format that Prometheus scrapes, as node_exporter's
// textfile collector passes a file on: one gauge family per figure, each
// with its # HELP and # TYPE lines.

#include <string>
#include <string_view>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// A label value as the format requires: backslash, double quote and line
// feed escaped; other control characters and bytes that are not UTF-8
// (which the scraper would refuse, dropping the whole file) become U+FFFD.
std::string prometheus_label_value(std::string_view outside_text);

// Every figure of an invocation: per benchmark its score (the series' score
// for a series), variation, unstable flag, the series' interval and run
// counts where there is a series, and whether a run failed; the scaling
// efficiency, the end time, one gauge per warning code, and the machine as an
// info gauge. A benchmark with no completed run has no score, only
// truvello_run_failed 1.
std::string prometheus_text(const InvocationView& view);

}  // namespace truvello::cli
