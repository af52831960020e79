// Figure 3: how the all-CPU benchmark scales over the one-worker benchmark,
// with the runs alternated and compared as ratios.
#include <cstdio>
#include <vector>

#include "figures.h"
#include "host.h"
#include "library_run.h"
#include "spread.h"

namespace truvello::report {
namespace {

constexpr double kWarmup = 1.0;
constexpr double kMeasurement = 5.0;
constexpr double kTarget = 0.95;

}  // namespace

void scaling_figure(const Options& options, Table& table) {
  const std::string load_before = load_average_text();
  std::vector<double> ratios;
  std::uint32_t workers = 0;
  for (int i = 0; i < options.scaling_pairs; ++i) {
    const RunObservation all = run_library({TRUVELLO_BENCHMARK_ALL_CPUS, kWarmup, kMeasurement});
    const RunObservation one = run_library({TRUVELLO_BENCHMARK_SINGLE, kWarmup, kMeasurement});
    if (all.status != TRUVELLO_STATUS_COMPLETED || one.status != TRUVELLO_STATUS_COMPLETED) {
      table.notes.push_back("figure 3: a run failed: " + all.reason + one.reason);
      continue;
    }
    workers = all.result.workers;
    const double ratio = all.result.mean_rate / (workers * one.result.mean_rate);
    ratios.push_back(ratio);
    std::fprintf(stderr, "  scaling pair %d: %u workers %.1f/s, one worker %.1f/s, ratio %.4f\n", i + 1, workers,
                 all.result.mean_rate, one.result.mean_rate, ratio);
  }
  const Spread s = spread_of(ratios);
  table.rows.push_back({"3 scaling, all-CPU rate / (" + std::to_string(workers) + " x one-worker rate)",
                        spread_text(s, 4) + ", load " + load_before + " -> " + load_average_text(), ">= 0.95 (idle)",
                        s.count > 0 && s.median >= kTarget});
}

}  // namespace truvello::report
