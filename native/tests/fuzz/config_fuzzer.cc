// Arbitrary bytes against the configuration path: a host's record of any
// length up to 64 bytes is validated, and every double found in the input is
// converted to a duration. Each outcome is compared with an independent model
// of the checks and of the exact conversion; any difference aborts, so
// libFuzzer keeps the input that showed it.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <variant>

#include "config.h"
#include "exact_seconds_model.h"

namespace truvello::fuzz {
namespace {

constexpr std::size_t kRecordSize = sizeof(truvello_config);
constexpr std::size_t kHeaderSize = 8;  // abi_version and struct_size
constexpr std::size_t kLongestRecord = 64;

constexpr const char* kReasons[] = {
    "config is null",
    "incompatible C ABI/config size",
    "unknown benchmark",
    "reserved config field must be zero",
    "durations must be finite: warmup >= 0, measurement > 0",
    "measurement duration must be positive",
};

[[noreturn]] void fail(const char* what, double value = 0.0) {
  std::fprintf(stderr, "config fuzzer: %s (value %a)\n", what, value);
  std::abort();
}

void check(bool ok, const char* what, double value = 0.0) {
  if (!ok) fail(what, value);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same_duration(const std::optional<Duration>& a, const std::optional<Duration>& b) {
  if (a.has_value() != b.has_value()) return false;
  return !a || *a == *b;
}

void check_conversion(double seconds) {
  const auto got = duration_from_seconds(seconds);
  check(same_duration(got, model_duration(seconds)), "conversion differs from the exact model", seconds);
  if (got) check(got->nanos < kNanosPerSecond, "nanoseconds out of range", seconds);
}

// What validation must answer for a record, decided from the record alone.
struct Expectation {
  const char* reason;  // nullptr: accepted
  std::uint32_t benchmark;
  double warmup_seconds;
  double measurement_seconds;
};

Expectation expected_for(const truvello_config& c) {
  if (c.abi_version != 1 || c.struct_size != kRecordSize) return {kReasons[1], 1, 120.0, 60.0};
  if (c.benchmark != 1 && c.benchmark != 2) return {kReasons[2], 1, c.warmup_seconds, c.measurement_seconds};
  if (c.reserved != 0) return {kReasons[3], c.benchmark, c.warmup_seconds, c.measurement_seconds};
  const bool durations_ok =
      model_duration(c.warmup_seconds) && model_duration(c.measurement_seconds) && c.measurement_seconds > 0.0;
  if (!durations_ok) return {kReasons[4], c.benchmark, c.warmup_seconds, c.measurement_seconds};
  // Positive, but too short for the clock to run.
  if (model_duration(c.measurement_seconds)->is_zero()) {
    return {kReasons[5], c.benchmark, c.warmup_seconds, c.measurement_seconds};
  }
  return {nullptr, c.benchmark, c.warmup_seconds, c.measurement_seconds};
}

bool is_known_reason(const char* reason) {
  for (const char* known : kReasons) {
    if (std::strcmp(reason, known) == 0) return true;
  }
  return false;
}

void check_validation(const truvello_config* record, const Expectation& want) {
  const auto outcome = validate_config(record);
  if (const auto* rejected = std::get_if<ConfigRejection>(&outcome)) {
    check(rejected->reason != nullptr && is_known_reason(rejected->reason), "rejection with an unknown reason");
    check(want.reason != nullptr, "valid record rejected");
    check(std::strcmp(rejected->reason, want.reason) == 0, "wrong rejection reason");
    check(rejected->benchmark == want.benchmark, "rejection reports the wrong benchmark");
    check(same_bits(rejected->warmup_seconds, want.warmup_seconds), "rejection reports other warm-up seconds",
          rejected->warmup_seconds);
    check(same_bits(rejected->measurement_seconds, want.measurement_seconds),
          "rejection reports other measurement seconds", rejected->measurement_seconds);
    return;
  }
  const auto& valid = std::get<ValidConfig>(outcome);
  check(want.reason == nullptr, "invalid record accepted");
  check(valid.benchmark == want.benchmark, "accepted with another benchmark");
  const RunLengths& lengths = valid.lengths;
  check(same_bits(lengths.warmup_seconds(), want.warmup_seconds), "accepted warm-up seconds changed");
  check(same_bits(lengths.measurement_seconds(), want.measurement_seconds), "accepted measurement seconds changed");
  check(same_duration(lengths.warmup(), model_duration(want.warmup_seconds)), "warm-up converted wrongly",
        want.warmup_seconds);
  check(same_duration(lengths.measurement(), model_duration(want.measurement_seconds)), "measurement converted wrongly",
        want.measurement_seconds);
  check(!lengths.measurement().is_zero(), "accepted a measurement the clock cannot run", want.measurement_seconds);
}

// The host's bytes as a record: up to 32 of them laid over a zeroed record.
// A record whose header names another layout is handed over in an allocation
// of its 8 header bytes alone, so that AddressSanitizer catches any read past
// them; one that names this layout gets exactly 32 bytes.
void validate_bytes(const std::uint8_t* data, std::size_t size) {
  truvello_config image{};
  std::memcpy(&image, data, size < kRecordSize ? size : kRecordSize);
  const Expectation want = expected_for(image);
  const std::size_t handed = want.reason == kReasons[1] ? kHeaderSize : kRecordSize;
  // malloc, not a typed allocation: the record is deliberately shorter than
  // the type when the header disowns it.
  std::unique_ptr<void, decltype(&std::free)> bytes(std::malloc(handed), &std::free);
  if (!bytes) std::abort();
  std::memcpy(bytes.get(), &image, handed);
  check_validation(static_cast<const truvello_config*>(bytes.get()), want);
}

// The documented worked examples, so that a wrong model cannot hide a wrong
// conversion by agreeing with it.
void check_model() {
  const auto at = [](std::uint64_t s, std::uint32_t n) { return std::optional<Duration>(Duration{s, n}); };
  const struct {
    double seconds;
    std::optional<Duration> want;
  } examples[] = {
      {2.5, at(2, 500'000'000)},
      {0.1, at(0, 100'000'000)},
      {0.9999999999, at(1, 0)},
      {6e-10, at(0, 1)},
      {1e-10, at(0, 0)},
      {-0.0, at(0, 0)},
      {0x1p-10, at(0, 976'562)},
      {0x3p-10, at(0, 2'929'688)},
      {0x1.006423a2e9c6dp-1, at(0, 500'764'002)},
      {0x1.009bdc5d16393p-1, at(0, 501'189'123)},
      {18446744073709549568.0, at(18446744073709549568u, 0)},
      {18446744073709551616.0, std::nullopt},
      {-std::numeric_limits<double>::denorm_min(), std::nullopt},
      {std::numeric_limits<double>::infinity(), std::nullopt},
      {std::numeric_limits<double>::quiet_NaN(), std::nullopt},
  };
  for (const auto& e : examples) check(same_duration(model_duration(e.seconds), e.want), "model wrong", e.seconds);
}

}  // namespace
}  // namespace truvello::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  truvello::fuzz::check_model();
  truvello::fuzz::check_validation(nullptr, {truvello::fuzz::kReasons[0], 1, 120.0, 60.0});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace truvello::fuzz;
  if (size > kLongestRecord) size = kLongestRecord;
  validate_bytes(data, size);
  // Every 8-byte window, aligned or not, as a double, and its two neighbours.
  for (std::size_t at = 0; at + sizeof(double) <= size; ++at) {
    double seconds = 0.0;
    std::memcpy(&seconds, data + at, sizeof seconds);
    check_conversion(seconds);
    check_conversion(std::nextafter(seconds, -std::numeric_limits<double>::infinity()));
    check_conversion(std::nextafter(seconds, std::numeric_limits<double>::infinity()));
  }
  return 0;
}
