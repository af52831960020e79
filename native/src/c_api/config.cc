#include "config.h"

#include <utility>

namespace truvello {

namespace {

constexpr const char kNullConfig[] = "config is null";
constexpr const char kIncompatible[] = "incompatible C ABI/config size";
constexpr const char kUnknownBenchmark[] = "unknown benchmark";
constexpr const char kReservedNonZero[] = "reserved config field must be zero";

ConfigRejection reject(const char* reason, std::uint32_t benchmark, double warmup, double measurement) {
  return ConfigRejection{reason, benchmark, warmup, measurement};
}

}  // namespace

truvello_config default_config() {
  return truvello_config{TRUVELLO_ABI_VERSION,  sizeof(truvello_config),   kDefaultBenchmark, 0,
                         kDefaultWarmupSeconds, kDefaultMeasurementSeconds};
}

std::variant<ValidConfig, ConfigRejection> validate_config(const truvello_config* config) {
  if (config == nullptr) {
    return reject(kNullConfig, kDefaultBenchmark, kDefaultWarmupSeconds, kDefaultMeasurementSeconds);
  }
  // A caller built against another layout may have handed fewer bytes: read
  // the two header fields alone until they vouch for the rest.
  const std::uint32_t abi_version = config->abi_version;
  const std::uint32_t struct_size = config->struct_size;
  if (abi_version != TRUVELLO_ABI_VERSION || struct_size != sizeof(truvello_config)) {
    return reject(kIncompatible, kDefaultBenchmark, kDefaultWarmupSeconds, kDefaultMeasurementSeconds);
  }
  const std::uint32_t benchmark = config->benchmark;
  const std::uint32_t reserved = config->reserved;
  const double warmup_seconds = config->warmup_seconds;
  const double measurement_seconds = config->measurement_seconds;

  // Unsigned, so that 0 wraps around and fails too.
  if (benchmark - 1u >= 2u) {
    return reject(kUnknownBenchmark, kDefaultBenchmark, warmup_seconds, measurement_seconds);
  }
  if (reserved != 0) {
    return reject(kReservedNonZero, benchmark, warmup_seconds, measurement_seconds);
  }
  // The lengths decide their own validity, including the one case a value
  // passes as a number but cannot be run (a measurement below half a
  // nanosecond), so that no later step asks again.
  auto lengths = RunLengths::from_seconds(warmup_seconds, measurement_seconds);
  if (!lengths.ok()) return reject(lengths.message(), benchmark, warmup_seconds, measurement_seconds);
  return ValidConfig{benchmark, std::move(lengths).value()};
}

}  // namespace truvello
