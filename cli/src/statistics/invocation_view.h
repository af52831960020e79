#pragma once

// The figures every output shows of an invocation, derived once: the
// summary, the JSON document, Markdown, HTML and the Prometheus text are all
// renderings of one view, so no two of them can disagree on a figure.

#include <cstdint>
#include <optional>
#include <vector>

#include "model/invocation.h"
#include "statistics/capability.h"
#include "statistics/paired_estimate.h"
#include "statistics/rate_stats.h"
#include "statistics/run_series.h"
#include "statistics/scaling.h"
#include "statistics/warnings.h"

namespace truvello::cli {

// One run with what is derived from it.
struct RunView {
  const RunOutcome* run = nullptr;
  std::optional<RateStats> stats;  // absent for a run without samples
  std::vector<Warning> warnings;   // run-specific first, as run_warnings gives them
  CapabilityEstimate capability;   // what the machine did between the host's spells
};

// An A/B series judged by its pairs, and by its sides as two series for
// contrast.
struct AbView {
  std::vector<AbPair> pairs;
  std::optional<PairedEstimate> estimate;  // absent without a pair
  std::optional<RatioInterval> unpaired;   // absent below two pairs
};

struct InvocationView {
  const Invocation* invocation = nullptr;
  std::vector<RunView> runs;       // one per run, in the invocation's order
  std::vector<SeriesView> series;  // per benchmark that has a series, single first
  std::optional<Scaling> scaling;
  std::optional<AbView> ab;  // set for an A/B series

  const Invocation& source() const { return *invocation; }
  // The view of a run of this invocation (found by its address).
  const RunView& of(const RunOutcome& run) const;
  // The benchmark's series, or null when it ran once and not under --precision.
  const SeriesView* series_of(std::uint32_t benchmark) const;
};

// The view points into `invocation`, which must outlive it and stay where it
// is (no run added or moved) while the view is used.
InvocationView view_of(const Invocation& invocation);
// A view of a temporary would point at nothing by the next statement.
InvocationView view_of(const Invocation&& invocation) = delete;

}  // namespace truvello::cli
