#pragma once

#include <cstdint>
#include <functional>

namespace truvello {

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

}  // namespace truvello
