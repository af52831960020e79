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

// A warning as a saved document recorded it.
struct RecordedWarning {
  std::string code;
  std::string message;
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
