#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "truvello.h"

namespace truvello::report {

struct RunSpec {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  double warmup_seconds = 0.0;
  double measurement_seconds = 1.0;
};

// Called from the run's progress callback, on the calling thread, with the
// run's own handle (for truvello_cancel).
using ProgressHook = std::function<void(const truvello_progress_record&, truvello_handle*)>;

// One truvello_run as a host sees it, plus the timings the figures need.
struct RunObservation {
  std::uint32_t status = TRUVELLO_STATUS_FAILED;
  truvello_result_record result{};
  std::string reason;
  std::vector<truvello_sample_record> samples;
  std::optional<double> first_progress_seconds;  // from the call to the first record
  double wall_seconds = 0.0;                     // the call as a whole
  double caller_cpu_seconds = 0.0;               // CPU time of the calling thread in the call
};

// Runs one benchmark through the C interface on a fresh handle.
RunObservation run_library(const RunSpec& spec, const ProgressHook& hook = {});

}  // namespace truvello::report
