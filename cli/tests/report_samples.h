#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "model/invocation.h"
#include "run_defaults.h"
#include "score_rules.h"
#include "test_samples.h"

namespace truvello::cli::testing {

// A default-length run (its whole seconds and the closing sliver) whose rate
// wobbles around `rate` and moves by `drift` (a share of it) over the window.
inline RunOutcome default_length_run(std::uint32_t benchmark, std::uint32_t workers, double rate, double drift) {
  RunOutcome run;
  run.config =
      truvello_config{TRUVELLO_ABI_VERSION, 32, benchmark, 0, kDefaultWarmupSeconds, kDefaultMeasurementSeconds};
  const int seconds = static_cast<int>(kDefaultMeasurementSeconds);
  for (int i = 1; i <= seconds; ++i) {
    const double r = rate * (1.0 + drift * (i - 1) / (seconds - 1) + 0.01 * std::sin(i * 1.7)) + 0.123456789;
    run.samples.push_back(truvello_sample_record{i + 0.000123 * i, 1.000123, static_cast<std::uint64_t>(r), r});
  }
  const double end = run.samples.back().t;
  run.samples.push_back(truvello_sample_record{end + 0.0042, 0.0042, static_cast<std::uint64_t>(rate * 0.0042),
                                               std::floor(rate * 0.0042) / 0.0042});
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples, benchmark, workers);
  run.result->warmup_seconds = kDefaultWarmupSeconds;
  run.result->measurement_seconds = kDefaultMeasurementSeconds;
  // The variation as the library weighs it: each sample by its length.
  double sum = 0.0;
  for (const auto& s : run.samples) sum += (s.rate - run.result->mean_rate) * (s.rate - run.result->mean_rate) * s.dt;
  run.result->cv_percent = std::sqrt(sum / run.result->measured_seconds) / run.result->mean_rate * 100.0;
  run.result->unstable = run.result->cv_percent > kUnstableCvPercent ? 1 : 0;
  return run;
}

// Both benchmarks at their default lengths, on a machine that draws every
// machine-wide warning, the all-CPU run sagging enough to be warned about.
inline Invocation default_invocation(const std::string& cpu_model) {
  Invocation inv;
  inv.command_version = "0.1.0";
  inv.library_version = "1.4.0";
  inv.abi_version = 1;
  inv.machine.cpu_model = cpu_model;
  inv.machine.online_cpus = 8;
  inv.machine.affinity_cpus = 8;
  inv.machine.os_kernel = "Linux 6.1.0-18-amd64 #1 SMP <b>PREEMPT</b> & \"friends\"";
  inv.machine.governors = {"powersave"};
  inv.machine.hypervisor = true;
  inv.machine.load = LoadAverage{2.5, 1.0, 0.5};
  inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, 30.0e6, 0.0));
  inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_ALL_CPUS, 8, 220.0e6, -0.12));
  return inv;
}

// An A/B series of six pairs in the order ABBABAABABBA (seed 42): side A
// at a[k] in pair k, side B at a[k] x ratio[k]; each run at the default
// lengths.
inline Invocation ab_series_of(const double (&a)[6], const double (&ratio)[6]) {
  Invocation inv;
  AbRecord& ab = inv.ab.emplace();
  ab.order = "ABBABAABABBA";
  ab.seed = 42;
  for (std::size_t k = 0; k < 6; ++k) {
    for (std::size_t m = 0; m < 2; ++m) {
      const double rate = ab.order[2 * k + m] == 'A' ? a[k] : a[k] * ratio[k];
      inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, rate, 0.0));
    }
  }
  return inv;
}

// A series (--repeat) of single-worker default-length runs, one per rate, on
// the machine of default_invocation.
inline Invocation series_invocation(const std::string& cpu_model, const std::vector<double>& rates) {
  Invocation inv = default_invocation(cpu_model);
  inv.runs.clear();
  for (const double rate : rates) {
    inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, rate, 0.0));
    inv.runs.back().repeat = static_cast<std::uint32_t>(inv.runs.size());
  }
  return inv;
}

// Five runs of a series, the fourth slowed by a busy machine: 24 % below the
// others, and disturbed.
inline const std::vector<double> kSeriesWithASlowRun = {30.0e6, 30.3e6, 29.8e6, 22.8e6, 30.1e6};

}  // namespace truvello::cli::testing
