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
  std::vector<double> library_rates;
  for (int i = 0; i < options.overhead_pairs; ++i) {
    const RunObservation a = run_library({TRUVELLO_BENCHMARK_SINGLE, kWarmup, kMeasurement});
    const double b = tight_loop_rate(kWarmup, kMeasurement);
    if (a.status != TRUVELLO_STATUS_COMPLETED || !(b > 0.0)) {
      table.notes.push_back("figure 2: a run failed: " + a.reason);
      continue;
    }
    ratios.push_back(a.result.mean_rate / b);
    library_rates.push_back(a.result.mean_rate);
    std::fprintf(stderr, "  overhead pair %d: library %.1f/s, tight loop %.1f/s, ratio %.4f\n", i + 1,
                 a.result.mean_rate, b, a.result.mean_rate / b);
  }
  const Spread s = spread_of(ratios);
  table.rows.push_back({"2 harness overhead, library / tight loop", spread_text(s, 4), ">= 0.99",
                        s.count > 0 && s.median >= kTarget});
}

}  // namespace truvello::report
