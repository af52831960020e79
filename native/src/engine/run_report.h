#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "truvello_version.h"

namespace truvello {

// The library's version text, as truvello_version returns it and every
// RunReport carries it.
inline constexpr const char kVersion[] = TRUVELLO_VERSION_TEXT;

// The C interface version.
inline constexpr unsigned kAbiVersion = 1;

// One interval of the measurement window. The field order is the C sample
// record's, which copies a Sample byte for byte.
struct Sample {
  double t = 0.0;         // end of the interval, seconds from warm_end
  double dt = 0.0;        // length of the interval, > 0
  std::uint64_t ops = 0;  // operations in the interval, all workers
  double rate = 0.0;      // ops / dt
};

inline constexpr std::uint32_t kStatusCompleted = 0;
inline constexpr std::uint32_t kStatusCancelled = 1;
inline constexpr std::uint32_t kStatusFailed = 2;

// The outcome of one run. Moved, never shared: the run driver owns it while
// the run lasts, then the handle's stored outcome.
struct RunReport {
  std::optional<double> mean_rate;   // present exactly when completed
  std::optional<double> cv_percent;  // completed with at least 2 samples
  bool unstable = false;             // cv_percent > 10
  std::string reason;                // empty when completed
  std::vector<Sample> samples;
  const char* version = nullptr;  // the static version text
  // The planned lengths exactly as the host gave them (RunLengths), or what a
  // refused record reports in their place.
  double warmup_seconds = 0.0;
  double measurement_seconds = 0.0;
  double measured_seconds = 0.0;
  std::uint64_t total_ops = 0;
  std::uint64_t checksum = 0;
  std::uint32_t benchmark = 0;
  std::uint32_t status = kStatusFailed;
  std::uint32_t workers = 0;
};

// A report in its initial state: failed, no reason, no samples, no statistics.
RunReport make_report(std::uint32_t benchmark, double warmup_seconds, double measurement_seconds);

inline constexpr std::uint32_t kPhaseWarmup = 1;
inline constexpr std::uint32_t kPhaseMeasurement = 2;
inline constexpr std::uint32_t kPhaseDone = 3;
inline constexpr std::uint32_t kPhaseCancelled = 4;
inline constexpr std::uint32_t kPhaseFailed = 5;

// A progress event of the run driver.
struct Progress {
  double fraction = 0.0;               // share of the planned run time, at most 1
  double phase_elapsed_seconds = 0.0;  // time in the current phase (final: measured seconds)
  double phase_seconds = 0.0;          // planned length of the current phase
  std::uint64_t ops = 0;               // operations so far in the phase (final: total)
  std::uint32_t workers = 0;
  std::uint32_t phase = 0;
};

// Called synchronously on the driver's thread.
using ProgressSink = std::function<void(Progress)>;

// Definitions, here so that the run report is one file.

inline RunReport make_report(std::uint32_t benchmark, double warmup_seconds, double measurement_seconds) {
  RunReport report;
  report.version = kVersion;
  report.benchmark = benchmark;
  report.warmup_seconds = warmup_seconds;
  report.measurement_seconds = measurement_seconds;
  return report;
}

}  // namespace truvello
