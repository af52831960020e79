#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "truvello.h"

namespace truvello::cli {

// Which of the library's two benchmarks a run is, with the names the command
// shows for it.
struct BenchmarkKind {
  std::uint32_t selector = TRUVELLO_BENCHMARK_SINGLE;

  // "single" or "all-cpus": the key used in exports.
  const char* key() const { return selector == TRUVELLO_BENCHMARK_ALL_CPUS ? "all-cpus" : "single"; }
  // "single worker" or "all CPUs": the heading in the summary.
  const char* title() const { return selector == TRUVELLO_BENCHMARK_ALL_CPUS ? "all CPUs" : "single worker"; }
};

// How long a run of this configuration is planned to take: its warm-up and
// its measurement window. What the progress and a series' budget count on.
inline double planned_seconds(const truvello_config& config) {
  return config.warmup_seconds + config.measurement_seconds;
}

// A warning as a saved document recorded it.
struct RecordedWarning {
  std::string code;
  std::string message;
};

// What the OS kernel said about one worker thread while the run measured,
// read by the command from /proc/self/task (the library reads nothing).
struct WorkerObservation {
  std::string name;             // the thread's name, "truvello-0"
  double window_seconds = 0.0;  // wall time between the first and the last reading
  double cpu_seconds = 0.0;     // time it ran on a CPU in that span
  // Time it was ready to run but waited for a CPU, and the times the
  // scheduler took its CPU away; absent when the OS kernel did not say
  // (no schedstat, an unreadable status), rather than a zero it never gave.
  std::optional<double> wait_seconds;
  std::optional<std::uint64_t> involuntary_switches;
  std::vector<unsigned> cpus;  // CPUs it was seen on, ascending
  // The core type of each CPU in `cpus` ("core", "atom") on a hybrid
  // machine; empty elsewhere.
  std::vector<std::string> core_types;

  // Its share of a CPU over the window: 1 is a whole CPU.
  double cpu_share() const { return window_seconds > 0.0 ? cpu_seconds / window_seconds : 0.0; }
  // The share of the window it spent waiting for a CPU, when known.
  std::optional<double> wait_share() const {
    if (!wait_seconds || !(window_seconds > 0.0)) return std::nullopt;
    return *wait_seconds / window_seconds;
  }
};

struct RunObservation {
  std::vector<WorkerObservation> workers;  // in thread-name order
};

// Everything the library reported about one run, copied out of its handle so
// that the handle can be released before anything is printed.
struct RunOutcome {
  truvello_config config{};
  std::uint32_t repeat = 1;                       // 1-based place of the run in its benchmark's series
  std::uint32_t status = TRUVELLO_STATUS_FAILED;  // what truvello_run returned
  std::optional<truvello_result_record> result;   // absent if nothing was stored
  std::string reason;
  std::vector<truvello_sample_record> samples;
  // Thermal throttle events counted by the OS kernel during the run, when the
  // machine exposes the counters.
  std::optional<std::uint64_t> throttle_before;
  std::optional<std::uint64_t> throttle_after;
  // The workers as the OS kernel saw them; absent when /proc did not tell.
  std::optional<RunObservation> observation;
  // Set for a run read back from a saved document: its warnings are shown as
  // recorded, since some depend on readings the document does not keep.
  std::optional<std::vector<RecordedWarning>> recorded_warnings;

  BenchmarkKind kind() const { return BenchmarkKind{config.benchmark}; }
  bool completed() const { return status == TRUVELLO_STATUS_COMPLETED && result.has_value(); }
};

// The text for a status code, as summaries and exports show it.
inline const char* status_text(std::uint32_t status) {
  switch (status) {
    case TRUVELLO_STATUS_COMPLETED:
      return "completed";
    case TRUVELLO_STATUS_CANCELLED:
      return "cancelled";
    default:
      return "failed";
  }
}

// The status with its reason, without saying the same word twice:
// "failed: unknown benchmark", "cancelled", "cancelled before starting".
inline std::string status_with_reason(std::uint32_t status, const std::string& reason) {
  const std::string word = status_text(status);
  if (reason.empty()) return word;
  if (reason.rfind(word, 0) == 0) return reason;
  return word + ": " + reason;
}

}  // namespace truvello::cli
