#include "run_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "faulty_runtime.h"
#include "process_threads.h"
#include "sample_tiling.h"
#include "statistics.h"
#include "test_lengths.h"
#include "test_vectors.h"

namespace truvello {
namespace {

using testing::FaultyRuntime;
using testing::lengths;
using testing::library_reason;
using testing::library_reason_prefix;
using testing::settled_worker_threads;

// Records every progress event of a run.
struct ProgressLog {
  std::vector<Progress> events;
  ProgressSink sink() {
    return [this](Progress p) { events.push_back(p); };
  }
};

struct Outcome {
  RunReport report;
  ProgressLog progress;
};

// A run of `warmup` and `measurement` seconds, as a host gives them.
Outcome run(std::uint32_t benchmark, double warmup, double measurement, const std::shared_ptr<Runtime>& runtime,
            std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false)) {
  Outcome r;
  r.report = run_with(benchmark, lengths(warmup, measurement), cancel, r.progress.sink(), runtime);
  EXPECT_FALSE(ACTIVE.load()) << "every way out of a run releases the process";
  return r;
}

// --- Failure paths, one per way a run can end early or badly ---------------

// A zero measurement never reaches the driver: RunLengths refuses it before
// admission (run_lengths_test.cc; from the host's side, result_lengths_test.cc).

TEST(RunDriverFailures, CpuCountFailureStartsNothing) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpu_failure = PlatformError::unknown_cpu_count();
  Outcome r = run(2, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason,
            library_reason_prefix("cpu_count") + "the number of hardware threads is not known for the target platform");
  EXPECT_EQ(r.report.workers, 0u);
  EXPECT_EQ(rt->spawn_calls, 0);
  EXPECT_TRUE(r.progress.events.empty());
}

TEST(RunDriverFailures, SingleWorkerBenchmarkNeverAsksForTheCpuCount) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpu_failure = PlatformError::os(EIO);
  Outcome r = run(1, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusCompleted) << r.report.reason;
  EXPECT_EQ(rt->cpu_calls, 0);
  EXPECT_EQ(r.report.workers, 1u);
}

TEST(RunDriverFailures, CancelBeforeTheRunStartsNoThread) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpus = 3;
  Outcome r = run(2, 0.0, 0.3, rt, std::make_shared<std::atomic<bool>>(true));
  EXPECT_EQ(r.report.status, kStatusCancelled);
  EXPECT_EQ(r.report.reason, library_reason("cancelled_before_starting"));
  EXPECT_EQ(r.report.workers, 3u);
  EXPECT_EQ(rt->spawn_calls, 0);
  EXPECT_TRUE(r.progress.events.empty());
}

TEST(RunDriverFailures, SpawnFailureJoinsTheWorkersAlreadyStarted) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpus = 5;
  rt->spawn_fails_at = 3;
  Outcome r = run(2, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason_prefix("spawn") + PlatformError::os(EAGAIN).display());
  EXPECT_EQ(r.report.workers, 5u);
  EXPECT_EQ(rt->spawn_calls, 4);
  EXPECT_EQ(rt->highest_spawn_index, 3u);
  EXPECT_EQ(rt->threads_started, 3);
  EXPECT_EQ(rt->threads_ended, 3);
  EXPECT_EQ(settled_worker_threads(0), 0);
  EXPECT_TRUE(r.progress.events.empty());
  EXPECT_TRUE(r.report.samples.empty());
  EXPECT_EQ(r.report.total_ops, 0u);
}

TEST(RunDriverFailures, KernelAllocationFailureInOneWorker) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpus = 3;
  rt->kernel_fails_at = 1;
  Outcome r = run(2, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason_prefix("worker_init") +
                                 "Ok(Err(\"memory allocation failed because the memory allocator "
                                 "returned an error\"))");
  EXPECT_EQ(rt->threads_started, 3);
  EXPECT_EQ(rt->threads_ended, 3);
  EXPECT_TRUE(r.progress.events.empty());
}

TEST(RunDriverFailures, WorkerThatDiesBeforeReportingDisconnectsTheQueue) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpus = 2;
  rt->kernel_throws_at = 1;
  Outcome r = run(2, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason_prefix("worker_init") + "Err(RecvError)");
  EXPECT_EQ(rt->threads_ended, 2);
}

TEST(RunDriverFailures, WorkerThatThrowsDuringTheRun) {
  auto rt = std::make_shared<FaultyRuntime>();
  rt->cpus = 2;
  rt->worker_throws_at = 0;
  Outcome r = run(2, 0.0, 0.3, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason("worker_panicked"));
  EXPECT_FALSE(r.report.mean_rate);
  ASSERT_FALSE(r.progress.events.empty());
  EXPECT_EQ(r.progress.events.back().phase, kPhaseFailed);
  EXPECT_GT(r.report.total_ops, 0u) << "counters keep what the workers did";
}

TEST(RunDriverFailures, EndInstantBeyondTheClockRange) {
  auto rt = std::make_shared<FaultyRuntime>();
  Outcome r = run(1, 0.0, 18446744073709549568.0, rt);
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason("beyond_clock"));
  EXPECT_EQ(rt->threads_ended, 1);
  EXPECT_TRUE(r.progress.events.empty());
  // The warm-up alone can overflow too: 2^63 s, one past the largest i64.
  Outcome w = run(1, 0x1p63, 0.001, rt);
  EXPECT_EQ(w.report.reason, library_reason("beyond_clock"));
}

TEST(RunDriverFailures, CancelDuringWarmup) {
  auto rt = std::make_shared<FaultyRuntime>();
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  Outcome r;
  r.report = run_with(
      1, lengths(60.0, 60.0), cancel,
      [&](Progress p) {
        r.progress.events.push_back(p);
        if (p.ops > 0) cancel->store(true);
      },
      rt);
  EXPECT_EQ(r.report.status, kStatusCancelled);
  EXPECT_EQ(r.report.reason, library_reason("cancelled"));
  EXPECT_FALSE(r.report.mean_rate);
  EXPECT_EQ(r.progress.events.back().phase, kPhaseCancelled);
  EXPECT_EQ(r.report.total_ops, 0u);
  EXPECT_TRUE(r.report.samples.empty());
}

TEST(RunDriverFailures, CancelDuringMeasurementKeepsTheSamples) {
  auto rt = std::make_shared<FaultyRuntime>();
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  Outcome r;
  r.report = run_with(
      1, lengths(0.0, 60.0), cancel,
      [&](Progress p) {
        r.progress.events.push_back(p);
        if (p.phase == kPhaseMeasurement && p.phase_elapsed_seconds >= 1.2) cancel->store(true);
      },
      rt);
  EXPECT_EQ(r.report.status, kStatusCancelled);
  EXPECT_EQ(r.report.reason, library_reason("cancelled"));
  EXPECT_FALSE(r.report.cv_percent);
  EXPECT_GE(r.report.samples.size(), 2u);
  EXPECT_GT(r.report.total_ops, 0u);
  EXPECT_EQ(r.progress.events.back().phase, kPhaseCancelled);
  EXPECT_LE(r.progress.events.back().fraction, 1.0);
}

TEST(RunDriverFailures, MeasurementTooShortToCountAnyWork) {
  auto rt = std::make_shared<FaultyRuntime>();
  Outcome r = run(1, 0.0, 1e-9, rt);  // one nanosecond
  EXPECT_EQ(r.report.status, kStatusFailed);
  EXPECT_EQ(r.report.reason, library_reason("too_short"));
  ASSERT_EQ(r.progress.events.size(), 2u);
  EXPECT_EQ(r.progress.events[0].phase, kPhaseMeasurement);
  EXPECT_EQ(r.progress.events[1].phase, kPhaseFailed);
}

// --- Real runs through System ----------------------------------------------

void expect_samples_tile_the_window(const RunReport& report) {
  ASSERT_FALSE(report.samples.empty());
  EXPECT_EQ(testing::tiling_problem(report.samples, report.measured_seconds, report.total_ops), "");
}

void expect_progress_invariants(const std::vector<Progress>& events, std::uint32_t workers) {
  ASSERT_GE(events.size(), 2u);
  std::uint32_t phase = 0;
  for (std::size_t i = 0; i + 1 < events.size(); ++i) {
    const Progress& p = events[i];
    EXPECT_TRUE(p.phase == kPhaseWarmup || p.phase == kPhaseMeasurement);
    EXPECT_GE(p.phase, phase) << "phases never go back";
    EXPECT_LE(p.fraction, 1.0);
    EXPECT_LE(p.phase_elapsed_seconds, p.phase_seconds);
    EXPECT_EQ(p.workers, workers);
    phase = p.phase;
  }
  EXPECT_GE(events.back().phase, kPhaseDone) << "exactly one final record, last";
}

TEST(RunDriverRuns, SingleWorkerWithoutWarmup) {
  auto rt = std::make_shared<System>();
  Outcome r = run(1, 0.0, 1.5, rt);
  ASSERT_EQ(r.report.status, kStatusCompleted) << r.report.reason;
  EXPECT_EQ(r.report.reason, "");
  EXPECT_EQ(r.report.workers, 1u);
  EXPECT_GE(r.report.measured_seconds, 1.5);
  EXPECT_EQ(*r.report.mean_rate, static_cast<double>(r.report.total_ops) / r.report.measured_seconds);
  EXPECT_EQ(r.report.total_ops % 8, 0u);
  expect_samples_tile_the_window(r.report);
  // A loop sample at about 1 s and the closing one; a driver held off the CPU
  // past the end of the window takes only the closing one.
  ASSERT_GE(r.report.samples.size(), 1u);
  ASSERT_LE(r.report.samples.size(), 2u);
  ASSERT_EQ(r.report.cv_percent.has_value(), r.report.samples.size() == 2);
  EXPECT_EQ(r.report.unstable, r.report.cv_percent && *r.report.cv_percent > kUnstableCvPercent);
  expect_progress_invariants(r.progress.events, 1);
  for (const Progress& p : r.progress.events) EXPECT_NE(p.phase, kPhaseWarmup);
  const Progress& last = r.progress.events.back();
  EXPECT_EQ(last.phase, kPhaseDone);
  EXPECT_EQ(last.fraction, 1.0);
  EXPECT_EQ(last.ops, r.report.total_ops);
  EXPECT_EQ(last.phase_elapsed_seconds, r.report.measured_seconds);

  // With no warm-up every batch is measured, so the checksum is the result of
  // step number total_ops of the seed-0 kernel.
  Kernel k = std::move(Kernel::new_with_allocator(0)).value();
  std::uint64_t expected = 0;
  for (std::uint64_t i = 0; i < r.report.total_ops; ++i) expected = k.step();
  EXPECT_EQ(r.report.checksum, expected);
}

TEST(RunDriverRuns, AllCpusWithWarmup) {
  auto rt = std::make_shared<System>();
  Outcome r = run(2, 0.3, 0.3, rt);
  ASSERT_EQ(r.report.status, kStatusCompleted) << r.report.reason;
  EXPECT_EQ(r.report.workers, System().available_cpus().value()) << "one worker per online CPU";
  EXPECT_EQ(settled_worker_threads(0), 0) << "no thread outlives the run";
  expect_samples_tile_the_window(r.report);
  EXPECT_EQ(r.report.samples.size(), 1u);
  EXPECT_FALSE(r.report.cv_percent);
  EXPECT_FALSE(r.report.unstable);
  expect_progress_invariants(r.progress.events, r.report.workers);
  EXPECT_EQ(r.progress.events.front().phase, kPhaseWarmup);
  EXPECT_EQ(r.progress.events.front().phase_seconds, 0.3);
  // The first measurement record restarts the count for its phase: its
  // elapsed time is the run's elapsed time (fraction of the planned 0.6 s)
  // less the warm-up. A record read after the end of the window is capped at
  // the phase length either way, so it shows nothing and is not checked; when
  // it comes depends on how soon the driver got the CPU back.
  for (std::size_t i = 1; i < r.progress.events.size(); ++i) {
    const Progress& p = r.progress.events[i];
    if (p.phase == kPhaseMeasurement && r.progress.events[i - 1].phase == kPhaseWarmup) {
      EXPECT_EQ(p.phase_seconds, 0.3);
      if (p.fraction < 1.0) {
        EXPECT_NEAR(p.phase_elapsed_seconds, p.fraction * 0.6 - 0.3, 1e-9);
      }
    }
  }
}

TEST(RunDriverRuns, OneRunAtATimeInTheProcess) {
  auto rt = std::make_shared<System>();
  std::atomic<bool> first_running{false};
  RunReport second;
  std::thread other;
  RunReport first = run_with(
      1, lengths(0.0, 0.4), std::make_shared<std::atomic<bool>>(false),
      [&](Progress) {
        if (first_running.exchange(true)) return;
        other = std::thread(
            [&] { second = run_with(1, lengths(0.0, 0.4), std::make_shared<std::atomic<bool>>(false), {}, rt); });
        other.join();
      },
      rt);
  EXPECT_EQ(second.status, kStatusFailed);
  EXPECT_EQ(second.reason, library_reason("already_running"));
  EXPECT_EQ(second.workers, 0u);
  EXPECT_EQ(first.status, kStatusCompleted) << "the refused run does not disturb the active one";
  EXPECT_FALSE(ACTIVE.load());
  Outcome again = run(1, 0.0, 0.3, rt);
  EXPECT_EQ(again.report.status, kStatusCompleted) << again.report.reason;
}

TEST(RunDriverRuns, CancelSetAfterTheLoopStillCancels) {
  // The workers leave at the end of the window and only then raise the flag:
  // the driver's read after the joins decides.
  auto rt = std::make_shared<FaultyRuntime>();
  auto cancel = std::make_shared<std::atomic<bool>>(false);
  rt->set_after_work = cancel.get();
  Outcome r = run(1, 0.0, 0.3, rt, cancel);
  EXPECT_EQ(r.report.status, kStatusCancelled);
  EXPECT_EQ(r.report.reason, library_reason("cancelled"));
  EXPECT_GT(r.report.total_ops, 0u);
}

}  // namespace
}  // namespace truvello
