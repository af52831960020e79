// Progress callbacks that misbehave within what the interface allows: one
// that sleeps, one that cancels its own run, one that calls back into the
// library. The run must still end, and end the way the interface says.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

#include "process_threads.h"
#include "progress_log.h"
#include "stored_outcome.h"
#include "test_vectors.h"
#include "truvello.h"
#include "truvello_version.h"

namespace truvello::reliability {
namespace {

using testing::baseline_thread_count;
using testing::library_reason;
using testing::read_stored_outcome;
using testing::rerun_problem;
using testing::run_config;
using testing::settled_thread_count;
using testing::StoredOutcome;

// How long a slow host keeps each callback. Nothing checked below depends on
// the length: it only makes the library wait for its host.
constexpr auto kNap = std::chrono::milliseconds(300);

struct Sleepy {
  ProgressLog log;
  std::atomic<bool> entered{false};
  // When set, the first call also waits (up to a deadline that only bounds a
  // hang) until another thread has cancelled, so the cancel surely lands
  // while the callback holds the calling thread.
  bool hold_for_cancel = false;
  std::atomic<bool> cancelled{false};
};

void sleep_in_callback(const truvello_progress_record* record, void* user_data) {
  auto& sleepy = *static_cast<Sleepy*>(user_data);
  log_progress(record, &sleepy.log);
  const bool first = !sleepy.entered.exchange(true);
  if (first && sleepy.hold_for_cancel) {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!sleepy.cancelled.load() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::this_thread::sleep_for(kNap);
}

TEST(SleepingCallback, RunStillEndsAndSamplesOnlyLag) {
  const auto threads_before = baseline_thread_count();
  Sleepy sleepy;
  truvello_handle* handle = truvello_create();
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 2.5);
  const std::uint32_t status = truvello_run(handle, &config, &sleep_in_callback, &sleepy);
  StoredOutcome out;
  EXPECT_EQ(read_stored_outcome(handle, status, out), "");
  EXPECT_EQ(sleepy.log.problem, "");
  ASSERT_EQ(status, TRUVELLO_STATUS_COMPLETED) << out.reason_text;
  EXPECT_EQ(sleepy.log.last_phase, TRUVELLO_PHASE_DONE);
  EXPECT_EQ(sleepy.log.final_calls, 1u);
  // The loop samples only between naps, so its samples stretch, but they are
  // never closer than a second apart; the closing one takes the remainder.
  for (std::size_t i = 0; i + 1 < out.samples.size(); ++i) EXPECT_GE(out.samples[i].dt, 1.0) << "sample " << i;
  truvello_free(handle);
  EXPECT_EQ(settled_thread_count(threads_before.value_or(0)), threads_before);
}

TEST(SleepingCallback, CancelFromAnotherThreadStillStopsTheRun) {
  const auto threads_before = baseline_thread_count();
  Sleepy sleepy;
  sleepy.hold_for_cancel = true;
  truvello_handle* handle = truvello_create();
  // Long enough that only the cancel can end it in a test's lifetime.
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_ALL_CPUS, 0.0, 3600.0);
  std::atomic<bool> returned{false};
  std::thread canceller([&] {
    // A run that fails before its first record must not strand this thread.
    while (!sleepy.entered.load() && !returned.load()) std::this_thread::yield();
    truvello_cancel(handle);  // while the first callback holds the calling thread
    sleepy.cancelled.store(true);
  });
  const std::uint32_t status = truvello_run(handle, &config, &sleep_in_callback, &sleepy);
  returned.store(true);
  canceller.join();
  StoredOutcome out;
  EXPECT_EQ(read_stored_outcome(handle, status, out), "");
  EXPECT_EQ(sleepy.log.problem, "");
  EXPECT_EQ(status, TRUVELLO_STATUS_CANCELLED);
  EXPECT_EQ(out.reason_text, library_reason("cancelled"));
  EXPECT_EQ(sleepy.log.last_phase, TRUVELLO_PHASE_CANCELLED);
  truvello_free(handle);
  EXPECT_EQ(settled_thread_count(threads_before.value_or(0)), threads_before);
}

struct SelfCanceller {
  truvello_handle* handle = nullptr;
  std::uint32_t cancel_at_phase = 0;  // 0: on the first record
  ProgressLog log;
  std::uint32_t final_phase_seen = 0;
};

void cancel_own_run(const truvello_progress_record* record, void* user_data) {
  auto& self = *static_cast<SelfCanceller*>(user_data);
  const bool first = self.log.calls == 0;
  log_progress(record, &self.log);
  if (is_final_phase(record->phase)) self.final_phase_seen = record->phase;
  if ((self.cancel_at_phase == 0 && first) || record->phase == self.cancel_at_phase) truvello_cancel(self.handle);
}

TEST(CancellingCallback, CancelOnTheFirstRecordEndsTheRunAfterThatPass) {
  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    SCOPED_TRACE(benchmark);
    SelfCanceller self;
    self.handle = truvello_create();
    const truvello_config config = run_config(benchmark, 3600.0, 3600.0);
    const std::uint32_t status = truvello_run(self.handle, &config, &cancel_own_run, &self);
    StoredOutcome out;
    EXPECT_EQ(read_stored_outcome(self.handle, status, out), "");
    EXPECT_EQ(self.log.problem, "");
    EXPECT_EQ(status, TRUVELLO_STATUS_CANCELLED);
    EXPECT_EQ(out.reason_text, library_reason("cancelled"));
    // The pass that delivered the record sees the cancel right after it.
    EXPECT_EQ(self.log.calls, 2u);
    EXPECT_EQ(self.final_phase_seen, TRUVELLO_PHASE_CANCELLED);
    EXPECT_EQ(out.result.sample_count, 0u);  // still in warm-up
    truvello_free(self.handle);
  }
}

TEST(CancellingCallback, CancelOnTheFinalRecordChangesNothing) {
  SelfCanceller self;
  self.handle = truvello_create();
  self.cancel_at_phase = TRUVELLO_PHASE_DONE;
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.05);
  const std::uint32_t status = truvello_run(self.handle, &config, &cancel_own_run, &self);
  StoredOutcome out;
  EXPECT_EQ(read_stored_outcome(self.handle, status, out), "");
  EXPECT_EQ(self.log.problem, "");
  // The final record announces the outcome already decided; a cancel then
  // comes after the run and must not turn it into a cancellation.
  if (self.final_phase_seen == TRUVELLO_PHASE_DONE) {
    EXPECT_EQ(status, TRUVELLO_STATUS_COMPLETED);
    EXPECT_EQ(out.reason_text, "");
  } else {
    EXPECT_EQ(self.final_phase_seen, TRUVELLO_PHASE_FAILED);  // a starved worker
    EXPECT_EQ(status, TRUVELLO_STATUS_FAILED);
  }
  truvello_free(self.handle);
}

struct Reentrant {
  truvello_handle* handle = nullptr;
  ProgressLog log;
  std::uint64_t readers_answered = 0;  // readers that returned something
  std::uint64_t records_written = 0;   // output records changed by a failed read
  std::uint32_t nested_own_run = 0;
  std::uint64_t nested_own_run_callbacks = 0;
  truvello_handle* bystander = nullptr;
  std::uint32_t bystander_status = 0;
  int version_checks_failed = 0;
};

void count_nested(const truvello_progress_record*, void* calls) { ++*static_cast<std::uint64_t*>(calls); }

void call_back_in(const truvello_progress_record* record, void* user_data) {
  auto& r = *static_cast<Reentrant*>(user_data);
  const bool first = r.log.calls == 0;
  log_progress(record, &r.log);

  // The outcome is stored only after the run returns, final record included.
  truvello_result_record result;
  std::memset(&result, 0xA5, sizeof result);
  const truvello_result_record untouched = result;
  if (truvello_result(r.handle, &result) != 0) ++r.readers_answered;
  if (std::memcmp(&result, &untouched, sizeof result) != 0) ++r.records_written;
  truvello_sample_record sample;
  std::memset(&sample, 0x5A, sizeof sample);
  const truvello_sample_record untouched_sample = sample;
  if (truvello_sample(r.handle, 0, &sample) != 0) ++r.readers_answered;
  if (std::memcmp(&sample, &untouched_sample, sizeof sample) != 0) ++r.records_written;
  if (truvello_reason(r.handle) != nullptr) ++r.readers_answered;

  truvello_config defaults{};
  if (truvello_abi_version() != TRUVELLO_ABI_VERSION || std::strcmp(truvello_version(), TRUVELLO_VERSION_TEXT) != 0 ||
      truvello_default_config(&defaults) != 1 || defaults.struct_size != sizeof defaults) {
    ++r.version_checks_failed;
  }

  if (!first) return;
  // Running again from inside the run: the own handle is already claimed,
  // and any other handle finds the process taken.
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.01);
  r.nested_own_run = truvello_run(r.handle, &config, &count_nested, &r.nested_own_run_callbacks);
  r.bystander = truvello_create();
  r.bystander_status = truvello_run(r.bystander, &config, &count_nested, &r.nested_own_run_callbacks);
}

TEST(ReentrantCallback, ReadersSeeNothingAndNestedRunsAreRefused) {
  Reentrant r;
  r.handle = truvello_create();
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_ALL_CPUS, 0.1, 0.3);
  const std::uint32_t status = truvello_run(r.handle, &config, &call_back_in, &r);
  StoredOutcome out;
  EXPECT_EQ(read_stored_outcome(r.handle, status, out), "");
  EXPECT_EQ(r.log.problem, "");
  EXPECT_TRUE(status == TRUVELLO_STATUS_COMPLETED || out.reason_text == library_reason("too_short")) << out.reason_text;
  EXPECT_GE(r.log.calls, 2u);
  EXPECT_EQ(r.readers_answered, 0u);
  EXPECT_EQ(r.records_written, 0u);
  EXPECT_EQ(r.version_checks_failed, 0);

  EXPECT_EQ(r.nested_own_run, TRUVELLO_STATUS_FAILED);
  EXPECT_EQ(r.nested_own_run_callbacks, 0u);
  ASSERT_NE(r.bystander, nullptr);
  EXPECT_EQ(r.bystander_status, TRUVELLO_STATUS_FAILED);
  StoredOutcome bystander;
  EXPECT_EQ(read_stored_outcome(r.bystander, r.bystander_status, bystander), "");
  EXPECT_EQ(bystander.reason_text, library_reason("already_running"));
  EXPECT_EQ(rerun_problem(r.bystander, bystander), "");
  truvello_free(r.bystander);
  truvello_free(r.handle);
}

}  // namespace
}  // namespace truvello::reliability
