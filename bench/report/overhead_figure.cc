// Figure 2: what the harness costs. A one-worker library run against a tight
// loop over the same kernel, alternated so that drifts of the machine fall on
// both sides, compared only as ratios within this process.
#include <cstdio>
#include <vector>

#include "figures.h"
#include "library_run.h"
#include "spread.h"
#include "tight_loop.h"

namespace truvello::report {
namespace {

constexpr double kWarmup = 1.0;
constexpr double kMeasurement = 5.0;
constexpr double kTarget = 0.99;

}  // namespace

void overhead_figure(const Options& options, Table& table) {
  std::vector<double> ratios;
  std::vector<double> cpu_ratios;
  std::vector<double> waiting;
  int moved = 0;
  for (int i = 0; i < options.overhead_pairs; ++i) {
    const RunObservation a = run_library({TRUVELLO_BENCHMARK_SINGLE, kWarmup, kMeasurement, true});
    // The CPUs of a virtual machine need not be equally fast: the tight loop
    // runs where the library's worker ran, so that only the harness differs.
    const int worker_cpu = a.window ? a.window->workers.last_cpu : -1;
    const LoopRate b = tight_loop_rate(kWarmup, kMeasurement, worker_cpu);
    if (a.window && a.window->worker_moved) ++moved;
    if (a.status != TRUVELLO_STATUS_COMPLETED || !(b.ops_per_second > 0.0)) {
      table.notes.push_back("figure 2: a run failed: " + a.reason);
      continue;
    }
    const double ratio = a.result.mean_rate / b.ops_per_second;
    ratios.push_back(ratio);
    std::fprintf(stderr, "  overhead pair %d: library %.1f/s on CPU %d, tight loop %.1f/s on CPU %d, ratio %.4f", i + 1,
                 a.result.mean_rate, worker_cpu, b.ops_per_second, b.cpu, ratio);
    if (a.window && a.window->ops_per_cpu_second() > 0.0 && b.ops_per_cpu_second > 0.0) {
      cpu_ratios.push_back(a.window->ops_per_cpu_second() / b.ops_per_cpu_second);
      waiting.push_back(a.window->waiting_share() * 100.0);
      waiting.push_back(b.waiting_share * 100.0);
      std::fprintf(stderr, "; per CPU second %.4f; waiting %.1f %% / %.1f %%", cpu_ratios.back(),
                   a.window->waiting_share() * 100.0, b.waiting_share * 100.0);
    }
    std::fprintf(stderr, "\n");
  }
  const Spread s = spread_of(ratios);
  table.rows.push_back(
      {"2 harness overhead, library / tight loop", spread_text(s, 4), ">= 0.99", s.count > 0 && s.median >= kTarget});
  if (!cpu_ratios.empty()) {
    table.notes.push_back("figure 2 per CPU second of the stepping thread: " + spread_text(spread_of(cpu_ratios), 4) +
                          "; the stepping threads waited for a CPU " + spread_text(spread_of(waiting), 1, " %") +
                          " of the time; the tight loop ran on the CPU of the library's worker" +
                          (moved > 0 ? " (which moved in " + std::to_string(moved) + " runs)" : ""));
  }
}

}  // namespace truvello::report
