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
  std::vector<double> cpu_ratios;
  std::vector<double> waiting;
  std::uint32_t workers = 0;
  for (int i = 0; i < options.scaling_pairs; ++i) {
    const RunObservation all = run_library({TRUVELLO_BENCHMARK_ALL_CPUS, kWarmup, kMeasurement, true});
    const RunObservation one = run_library({TRUVELLO_BENCHMARK_SINGLE, kWarmup, kMeasurement, true});
    if (all.status != TRUVELLO_STATUS_COMPLETED || one.status != TRUVELLO_STATUS_COMPLETED) {
      table.notes.push_back("figure 3: a run failed: " + all.reason + one.reason);
      continue;
    }
    workers = all.result.workers;
    const double ratio = all.result.mean_rate / (workers * one.result.mean_rate);
    ratios.push_back(ratio);
    std::fprintf(stderr, "  scaling pair %d: %u workers %.1f/s, one worker %.1f/s, ratio %.4f", i + 1, workers,
                 all.result.mean_rate, one.result.mean_rate, ratio);
    if (all.window && one.window && one.window->ops_per_cpu_second() > 0.0) {
      cpu_ratios.push_back(all.window->ops_per_cpu_second() / one.window->ops_per_cpu_second());
      waiting.push_back(all.window->waiting_share() * 100.0);
      std::fprintf(stderr, "; per CPU second %.4f; all-CPU workers waiting %.1f %%", cpu_ratios.back(), waiting.back());
    }
    std::fprintf(stderr, "\n");
  }
  const Spread s = spread_of(ratios);
  table.rows.push_back({"3 scaling, all-CPU rate / (" + std::to_string(workers) + " x one-worker rate)",
                        spread_text(s, 4) + ", load " + load_before + " -> " + load_average_text(), ">= 0.95 (idle)",
                        s.count > 0 && s.median >= kTarget});
  if (!cpu_ratios.empty()) {
    table.notes.push_back("figure 3 per CPU second of the workers (what the workers got of the CPUs taken out): " +
                          spread_text(spread_of(cpu_ratios), 4) + "; the all-CPU workers waited for a CPU " +
                          spread_text(spread_of(waiting), 1, " %") + " of the time");
  }
}

}  // namespace truvello::report
