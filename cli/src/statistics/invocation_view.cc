#include "statistics/invocation_view.h"

#include <stdexcept>

namespace truvello::cli {

const RunView& InvocationView::of(const RunOutcome& run) const {
  const auto index = static_cast<std::size_t>(&run - invocation->runs.data());
  if (index >= runs.size()) throw std::logic_error("a run outside the viewed invocation");
  return runs[index];
}

const SeriesView* InvocationView::series_of(std::uint32_t benchmark) const {
  for (const SeriesView& s : series) {
    if (s.benchmark == benchmark) return &s;
  }
  return nullptr;
}

InvocationView view_of(const Invocation& invocation) {
  InvocationView view;
  view.invocation = &invocation;
  view.runs.reserve(invocation.runs.size());
  for (const RunOutcome& run : invocation.runs) {
    view.runs.push_back(
        RunView{&run, rate_stats(run.samples), run_warnings(run, invocation.machine), run_capability(run)});
  }
  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    auto s = series_view(invocation, benchmark);
    if (!s) continue;
    if (s->estimate) {
      std::vector<CapabilityEstimate> runs;
      for (const RunOutcome* run : s->completed) runs.push_back(view.of(*run).capability);
      s->capability = series_capability(runs, s->estimate->score);
    }
    view.series.push_back(std::move(*s));
  }
  view.scaling = scaling(invocation);
  if (invocation.ab) {
    AbView ab;
    ab.pairs = ab_pairs(invocation);
    ab.estimate = estimate_pairs(ab.pairs);
    ab.unpaired = unpaired_interval(ab.pairs);
    view.ab = std::move(ab);
  }
  return view;
}

}  // namespace truvello::cli
