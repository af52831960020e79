#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <variant>

#include "config.h"
#include "test_vectors.h"
#include "truvello.h"

namespace truvello {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

truvello_config record(std::uint32_t benchmark, double warmup, double measurement) {
  return truvello_config{1, 32, benchmark, 0, warmup, measurement};
}

// The accepted record; a rejection fails the test where it was expected.
ValidConfig accepted(const truvello_config& config) {
  auto outcome = validate_config(&config);
  if (const auto* rejection = std::get_if<ConfigRejection>(&outcome)) {
    throw std::runtime_error(std::string("rejected: ") + rejection->reason);
  }
  return std::get<ValidConfig>(std::move(outcome));
}

ConfigRejection rejected(const truvello_config* config) {
  auto outcome = validate_config(config);
  EXPECT_TRUE(std::holds_alternative<ConfigRejection>(outcome));
  if (!std::holds_alternative<ConfigRejection>(outcome)) return {"", 0, 0.0, 0.0};
  return std::get<ConfigRejection>(outcome);
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// What a rejection reports: the reason named in testing/vectors/reasons.json,
// benchmark and the two seconds values bit for bit (so NaN and -0.0 are
// compared exactly).
void expect_rejection(const truvello_config* config, const char* reason, std::uint32_t benchmark, double warmup,
                      double measurement) {
  const ConfigRejection r = rejected(config);
  EXPECT_EQ(std::string(r.reason), testing::library_reason(reason));
  EXPECT_EQ(r.benchmark, benchmark);
  EXPECT_TRUE(same_bits(r.warmup_seconds, warmup)) << r.warmup_seconds << " vs " << warmup;
  EXPECT_TRUE(same_bits(r.measurement_seconds, measurement)) << r.measurement_seconds << " vs " << measurement;
}

TEST(DefaultConfig, NullOutputIsRefused) { EXPECT_EQ(truvello_default_config(nullptr), 0); }

TEST(DefaultConfig, WritesEveryByteAndPassesValidation) {
  truvello_config config;
  std::memset(&config, 0xAB, sizeof config);
  ASSERT_EQ(truvello_default_config(&config), 1);
  const truvello_config expected{1, 32, 1, 0, 120.0, 60.0};
  EXPECT_EQ(std::memcmp(&config, &expected, sizeof config), 0);

  const ValidConfig valid = accepted(config);
  EXPECT_EQ(valid.benchmark, 1u);
  EXPECT_EQ(valid.lengths.warmup(), (Duration{120, 0}));
  EXPECT_EQ(valid.lengths.measurement(), (Duration{60, 0}));
  EXPECT_EQ(valid.lengths.warmup_seconds(), 120.0);
  EXPECT_EQ(valid.lengths.measurement_seconds(), 60.0);
}

TEST(ValidateConfig, NullRecordReportsTheDefaults) {
  expect_rejection(nullptr, "config_null", 1, kDefaultWarmupSeconds, kDefaultMeasurementSeconds);
}

TEST(ValidateConfig, WrongVersionOrSizeReportsTheDefaults) {
  for (auto [abi, size] : {std::pair{1u, 24u}, {1u, 40u}, {2u, 32u}, {0u, 32u}, {1u, 0u}}) {
    truvello_config config{abi, size, 2, 9, kNaN, -1.0};
    SCOPED_TRACE(::testing::Message() << "abi " << abi << " size " << size);
    expect_rejection(&config, "incompatible", 1, kDefaultWarmupSeconds, kDefaultMeasurementSeconds);
  }
}

TEST(ValidateConfig, WrongVersionReadsOnlyTheFirstEightBytes) {
  // A caller built against another layout may own no more than the header:
  // under AddressSanitizer any read past it fails the test.
  auto header = std::make_unique<std::uint32_t[]>(2);
  header[0] = 1;
  header[1] = 8;
  expect_rejection(reinterpret_cast<const truvello_config*>(header.get()), "incompatible", 1, kDefaultWarmupSeconds,
                   kDefaultMeasurementSeconds);
}

TEST(ValidateConfig, UnknownBenchmarkReportsBenchmarkOneWithTheCallersSeconds) {
  for (std::uint32_t benchmark : {0u, 3u, 4294967295u}) {
    SCOPED_TRACE(benchmark);
    const truvello_config config = record(benchmark, 0.25, 3.5);
    expect_rejection(&config, "unknown_benchmark", 1, 0.25, 3.5);
  }
  // The selector is checked before the reserved field.
  truvello_config config = record(7, 0.25, 3.5);
  config.reserved = 5;
  expect_rejection(&config, "unknown_benchmark", 1, 0.25, 3.5);
}

TEST(ValidateConfig, NonZeroReservedReportsTheCallersValues) {
  // The reserved field is checked before the durations.
  truvello_config config = record(2, kNaN, 3.5);
  config.reserved = 5;
  expect_rejection(&config, "reserved_nonzero", 2, kNaN, 3.5);
  config = record(1, 1.0, 2.0);
  config.reserved = 0x80000000u;
  expect_rejection(&config, "reserved_nonzero", 1, 1.0, 2.0);
}

TEST(ValidateConfig, BadDurationsReportTheCallersValuesUnchanged) {
  const double bad_warmups[] = {
      -std::numeric_limits<double>::denorm_min(), -1.0, kNaN, kInf, -kInf, 18446744073709551616.0};
  for (double warmup : bad_warmups) {
    SCOPED_TRACE(warmup);
    const truvello_config config = record(2, warmup, 1.0);
    expect_rejection(&config, "bad_durations", 2, warmup, 1.0);
  }
  const double bad_measurements[] = {
      0.0, -0.0, -std::numeric_limits<double>::denorm_min(), kNaN, kInf, -kInf, 18446744073709551616.0};
  for (double measurement : bad_measurements) {
    SCOPED_TRACE(measurement);
    const truvello_config config = record(1, 0.0, measurement);
    expect_rejection(&config, "bad_durations", 1, 0.0, measurement);
  }
}

TEST(ValidateConfig, ZeroWarmupOfEitherSignIsAccepted) {
  for (double warmup : {0.0, -0.0}) {
    const ValidConfig valid = accepted(record(1, warmup, 2.5));
    EXPECT_EQ(valid.lengths.warmup(), (Duration{0, 0}));
    EXPECT_EQ(valid.lengths.measurement(), (Duration{2, 500'000'000}));
    // The caller's own value travels on, sign included.
    EXPECT_TRUE(same_bits(valid.lengths.warmup_seconds(), warmup));
  }
}

TEST(ValidateConfig, AcceptedRecordCarriesConvertedAndOriginalValues) {
  const ValidConfig valid = accepted(record(2, 0.1, 0.9999999999));
  EXPECT_EQ(valid.benchmark, 2u);
  EXPECT_EQ(valid.lengths.warmup(), (Duration{0, 100'000'000}));
  EXPECT_EQ(valid.lengths.measurement(), (Duration{1, 0}));
  EXPECT_TRUE(same_bits(valid.lengths.warmup_seconds(), 0.1));
  EXPECT_TRUE(same_bits(valid.lengths.measurement_seconds(), 0.9999999999));
}

TEST(ValidateConfig, MeasurementThatRoundsToZeroHasAReasonOfItsOwn) {
  // Positive but below half a nanosecond: it passes as a number, converts to
  // a zero duration and is refused as too short to run, with the caller's
  // values reported.
  for (double measurement : {1e-10, 1e-12, std::numeric_limits<double>::denorm_min()}) {
    SCOPED_TRACE(measurement);
    const truvello_config config = record(2, -0.0, measurement);
    expect_rejection(&config, "measurement_not_positive", 2, -0.0, measurement);
  }
  // The reserved field and a bad warm-up are both reported before it.
  truvello_config config = record(1, 0.0, 1e-10);
  config.reserved = 1;
  expect_rejection(&config, "reserved_nonzero", 1, 0.0, 1e-10);
  config = record(1, kNaN, 1e-10);
  expect_rejection(&config, "bad_durations", 1, kNaN, 1e-10);
}

TEST(ValidateConfig, ValuesTheRunDriverRefusesStillPass) {
  // The largest convertible value: its end instant is out of the clock's range.
  const ValidConfig huge = accepted(record(1, 18446744073709549568.0, 18446744073709549568.0));
  EXPECT_EQ(huge.lengths.warmup(), (Duration{18'446'744'073'709'549'568u, 0}));
  EXPECT_EQ(huge.lengths.measurement(), (Duration{18'446'744'073'709'549'568u, 0}));
}

}  // namespace
}  // namespace truvello
