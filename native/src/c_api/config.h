#pragma once

#include <cstdint>
#include <variant>

#include "run_defaults.h"
#include "run_lengths.h"
#include "truvello.h"

namespace truvello {

// The record truvello_default_config writes: this benchmark and the lengths in
// run_defaults.h. The null and incompatible-record rejections report these
// same values, so the two must never drift apart.
inline constexpr std::uint32_t kDefaultBenchmark = TRUVELLO_BENCHMARK_SINGLE;
truvello_config default_config();

// A record that passed validation: the benchmark selector and lengths the run
// driver can run as they are.
struct ValidConfig {
  std::uint32_t benchmark;
  RunLengths lengths;
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

// Checks a host's record in a fixed order; the first failing check decides:
// the header, the benchmark selector, the reserved field, then the lengths
// (RunLengths::from_seconds).
// Reads each field at most once and, when the record announces another
// interface version or size, nothing past its first 8 bytes.
std::variant<ValidConfig, ConfigRejection> validate_config(const truvello_config* config);

}  // namespace truvello
