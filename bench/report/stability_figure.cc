// Figure 4: how steady one run is, as the coefficient of variation of its
// per-second samples that the library itself reports.
#include <cstdio>
#include <vector>

#include "figures.h"
#include "host.h"
#include "library_run.h"
#include "spread.h"

namespace truvello::report {
namespace {

constexpr double kWarmup = 5.0;
constexpr double kMeasurement = 20.0;
constexpr double kTargetPercent = 1.0;

}  // namespace

void stability_figure(const Options& options, Table& table) {
  const std::string load_before = load_average_text();
  std::vector<double> cvs;
  std::vector<double> waiting;
  for (int i = 0; i < options.stability_runs; ++i) {
    const RunObservation run = run_library({TRUVELLO_BENCHMARK_SINGLE, kWarmup, kMeasurement, true});
    if (run.status != TRUVELLO_STATUS_COMPLETED || run.result.cv_valid == 0) {
      table.notes.push_back("figure 4: a run failed or had no coefficient: " + run.reason);
      continue;
    }
    cvs.push_back(run.result.cv_percent);
    if (run.window) waiting.push_back(run.window->waiting_share() * 100.0);
    std::fprintf(stderr, "  stability run %d: %.1f/s, cv %.3f %% over %llu samples\n", i + 1, run.result.mean_rate,
                 run.result.cv_percent, static_cast<unsigned long long>(run.result.sample_count));
  }
  const Spread s = spread_of(cvs);
  table.rows.push_back({"4 stability, CV of a 20 s window after 5 s warm-up",
                        spread_text(s, 3, " %") + ", load " + load_before + " -> " + load_average_text(),
                        "<= 1 % (idle)", s.count > 0 && s.median <= kTargetPercent});
  if (!waiting.empty()) {
    table.notes.push_back("figure 4: the worker waited for a CPU " + spread_text(spread_of(waiting), 1, " %") +
                          " of the window");
  }
}

}  // namespace truvello::report
