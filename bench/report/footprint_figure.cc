// Figure 6: what a run costs besides the workers' computing: resident memory
// per worker, and the CPU time of the thread that called truvello_run.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "child_process.h"
#include "figures.h"
#include "host.h"
#include "library_run.h"

namespace truvello::report {
namespace {

constexpr double kPerWorkerTargetKiB = 300.0;
constexpr double kCallerTargetPercent = 0.5;

}  // namespace

int footprint_probe() {
  const std::optional<long long> before = anonymous_resident_bytes();
  long long peak = 0;
  const auto watch = [&peak](const truvello_progress_record& record, truvello_handle*) {
    if (record.phase != TRUVELLO_PHASE_MEASUREMENT) return;
    if (auto now = anonymous_resident_bytes()) peak = std::max(peak, *now);
  };
  const RunObservation run = run_library({TRUVELLO_BENCHMARK_ALL_CPUS, 0.5, 2.0}, watch);
  if (!before || peak == 0 || run.status != TRUVELLO_STATUS_COMPLETED) return 1;
  std::printf("%lld %u\n", peak - *before, run.result.workers);
  return 0;
}

void footprint_figure(const Options& options, Table& table) {
  // A fresh process, so that no memory freed by an earlier run is reused.
  const auto probe = testing::run_to_end({options.self, "--footprint-probe"});
  long long added = 0;
  unsigned workers = 0;
  if (probe && probe->status == 0 && std::sscanf(probe->out.c_str(), "%lld %u", &added, &workers) == 2 && workers > 0) {
    const double per_worker_kib = static_cast<double>(added) / 1024.0 / workers;
    char value[96];
    std::snprintf(value, sizeof value, "%.0f KiB (%lld KiB over %u workers)", per_worker_kib, added / 1024, workers);
    table.rows.push_back(
        {"6a anonymous resident memory added per worker", value, "<= 300 KiB", per_worker_kib <= kPerWorkerTargetKiB});
  } else {
    table.rows.push_back({"6a anonymous resident memory added per worker", "probe failed", "<= 300 KiB", false});
  }

  const RunObservation run = run_library({TRUVELLO_BENCHMARK_SINGLE, 2.0, 8.0});
  const double percent = run.wall_seconds > 0.0 ? run.caller_cpu_seconds / run.wall_seconds * 100.0 : 100.0;
  char value[96];
  std::snprintf(value, sizeof value, "%.3f %% (%.1f ms over %.1f s)", percent, run.caller_cpu_seconds * 1e3,
                run.wall_seconds);
  table.rows.push_back({"6b CPU time of the calling thread, 10 s run", value, "<= 0.5 % of a core",
                        run.status == TRUVELLO_STATUS_COMPLETED && percent <= kCallerTargetPercent});
}

}  // namespace truvello::report
