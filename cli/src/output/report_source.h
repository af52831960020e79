#pragma once

// What the run and comparison report shows: one or more sets of runs, each
// read through the view of its invocation.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// One set of runs to show. A report of one invocation has one source with an
// empty label; a comparison has one per file, the baseline first, each
// labelled (its file name, say).
struct ReportSource {
  std::string label;
  const InvocationView* view = nullptr;  // outlives the call; a null one is left out
};

// How the report names source `i`: its label; "source 2" for an unlabelled
// one among several; empty for the one source of a report of one invocation.
std::string source_name(std::span<const ReportSource> sources, std::size_t i);

// Every benchmark any source ran, in the order first met.
std::vector<std::uint32_t> benchmarks_in_order(std::span<const ReportSource> sources);

}  // namespace truvello::cli
