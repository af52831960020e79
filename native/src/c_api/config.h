#pragma once

#include <cstdint>
#include <optional>
#include <variant>

#include "clock.h"
#include "run_defaults.h"
#include "truvello.h"

namespace truvello {

// The record truvello_default_config writes: this benchmark and the lengths in
// run_defaults.h. The null and incompatible-record rejections report these
// same values, so the two must never drift apart.
inline constexpr std::uint32_t kDefaultBenchmark = TRUVELLO_BENCHMARK_SINGLE;
truvello_config default_config();

// Seconds as the host gives them, turned into a duration without any floating
// point rounding: the double's exact binary value is split into whole seconds
// and a fraction, and the fraction is rounded to the nearest nanosecond, ties
// to even. nullopt for values below 0.0, NaN, +infinity and 2^64 or more;
// -0.0 gives zero.
std::optional<Duration> duration_from_seconds(double seconds);

// A record that passed validation. The seconds are the caller's, bit for bit:
// they are what the result reports, not the rounded durations.
struct ValidConfig {
  std::uint32_t benchmark;
  Duration warmup;
  Duration measurement;
  double warmup_seconds;
  double measurement_seconds;
};

// A refused record: the reason text (static storage) and what the failed
// outcome reports in place of the record's own values where those cannot be
// trusted.
struct ConfigRejection {
  const char* reason;
  std::uint32_t benchmark;
  double warmup_seconds;
  double measurement_seconds;
};

// Checks a host's record in a fixed order; the first failing check decides.
// Reads each field at most once and, when the record announces another
// interface version or size, nothing past its first 8 bytes.
std::variant<ValidConfig, ConfigRejection> validate_config(const truvello_config* config);

}  // namespace truvello
