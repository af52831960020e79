#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace truvello {

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

}  // namespace truvello
