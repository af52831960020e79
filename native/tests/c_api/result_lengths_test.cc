// A run's lengths from the host's record to its result: the result reports
// the host's own numbers bit for bit, while the clock and the progress records
// run on the durations derived from them.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "owned_handle.h"
#include "run_driver.h"
#include "stored_outcome.h"
#include "test_vectors.h"
#include "truvello.h"

namespace truvello {
namespace {

using testing::library_reason;

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// What the progress callback saw; with `cancel_at_first` it cancels the run
// from its first record, so that long lengths end at once.
struct Seen {
  truvello_handle* handle = nullptr;
  bool cancel_at_first = false;
  int calls = 0;
  std::uint32_t first_phase = 0;
  double first_phase_seconds = NAN;
  double last_phase_seconds = NAN;
};

void record_progress(const truvello_progress_record* record, void* user_data) {
  auto& seen = *static_cast<Seen*>(user_data);
  if (seen.calls++ == 0) {
    seen.first_phase = record->phase;
    seen.first_phase_seconds = record->phase_seconds;
    if (seen.cancel_at_first) truvello_cancel(seen.handle);
  }
  seen.last_phase_seconds = record->phase_seconds;
}

TEST(ResultLengths, ResultReportsTheHostsSecondsBitForBit) {
  constexpr double kNone = NAN;  // no progress record at all
  const struct {
    const char* name;
    double warmup;
    double measurement;
    bool cancel_at_first;
    std::uint32_t status;
    const char* reason;  // name in reasons.json, "" for none
    // Progress runs on the durations: the phase length of the first record,
    // and of the final one (the measurement's).
    std::uint32_t first_phase;
    double first_phase_seconds;
    double last_phase_seconds;
  } cases[] = {
      {"below half a nanosecond", 0.0, 1e-12, false, TRUVELLO_STATUS_FAILED, "measurement_not_positive", 0, kNone,
       kNone},
      {"negative zero warm-up", -0.0, 0.1, false, TRUVELLO_STATUS_COMPLETED, "", TRUVELLO_PHASE_MEASUREMENT, 0.1, 0.1},
      {"warm-up rounding up to a whole second", 3600.9999999999, 60.0, true, TRUVELLO_STATUS_CANCELLED, "cancelled",
       TRUVELLO_PHASE_WARMUP, 3601.0, 60.0},
      {"measurement rounding up to a whole second", 0.0, 0.9999999999, true, TRUVELLO_STATUS_CANCELLED, "cancelled",
       TRUVELLO_PHASE_MEASUREMENT, 1.0, 1.0},
      {"whole seconds above 2^53", 0.0, 0x1p53 + 2, true, TRUVELLO_STATUS_CANCELLED, "cancelled",
       TRUVELLO_PHASE_MEASUREMENT, 0x1p53 + 2, 0x1p53 + 2},
      {"end beyond the clock", 0.0, 18446744073709549568.0, false, TRUVELLO_STATUS_FAILED, "beyond_clock", 0, kNone,
       kNone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto handle = testing::make_handle();
    Seen seen;
    seen.handle = handle.get();
    seen.cancel_at_first = c.cancel_at_first;
    const truvello_config config = testing::run_config(1, c.warmup, c.measurement);
    const std::uint32_t status = truvello_run(handle.get(), &config, &record_progress, &seen);

    testing::StoredOutcome out;
    EXPECT_EQ(testing::read_stored_outcome(handle.get(), status, out), "");
    EXPECT_EQ(status, c.status) << out.reason_text;
    EXPECT_EQ(out.reason_text, *c.reason == '\0' ? std::string() : library_reason(c.reason));
    EXPECT_TRUE(same_bits(out.result.warmup_seconds, c.warmup)) << out.result.warmup_seconds;
    EXPECT_TRUE(same_bits(out.result.measurement_seconds, c.measurement)) << out.result.measurement_seconds;

    if (std::isnan(c.first_phase_seconds)) {
      EXPECT_EQ(seen.calls, 0);
      continue;
    }
    ASSERT_GE(seen.calls, 2) << "at least one record of the loop and the final one";
    EXPECT_EQ(seen.first_phase, c.first_phase);
    EXPECT_EQ(seen.first_phase_seconds, c.first_phase_seconds);
    EXPECT_EQ(seen.last_phase_seconds, c.last_phase_seconds);
  }
}

TEST(ResultLengths, MeasurementTooShortIsDecidedBeforeTheProcessIsClaimed) {
  // Even a process held by another run gives this reason, and the hold is
  // left alone: the run never gets as far as asking for it.
  ACTIVE.store(true);
  const auto handle = testing::make_handle();
  Seen seen;
  const truvello_config config = testing::run_config(2, 0.0, 1e-10);
  const std::uint32_t status = truvello_run(handle.get(), &config, &record_progress, &seen);
  EXPECT_TRUE(ACTIVE.load());
  ACTIVE.store(false);
  testing::StoredOutcome out;
  EXPECT_EQ(testing::read_stored_outcome(handle.get(), status, out), "");
  EXPECT_EQ(status, TRUVELLO_STATUS_FAILED);
  EXPECT_EQ(out.reason_text, library_reason("measurement_not_positive"));
  EXPECT_EQ(out.result.workers, 0u) << "no worker count asked for, no thread started";
  EXPECT_EQ(out.result.benchmark, 2u);
  EXPECT_EQ(seen.calls, 0);
}

}  // namespace
}  // namespace truvello
