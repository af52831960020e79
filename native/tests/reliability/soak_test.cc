// Many handles through one process: rejected records, runs cancelled before
// they start, and short real runs of both benchmarks, with every reader
// called on every handle. Leaked bytes are the sanitizer's or valgrind's to
// find at exit; leaked threads are counted here after every phase. The
// resident set is printed before and after each phase for the record.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "process_stats.h"
#include "process_threads.h"
#include "progress_log.h"
#include "run_defaults.h"
#include "stored_outcome.h"
#include "test_vectors.h"
#include "truvello.h"

namespace truvello::reliability {
namespace {

using testing::baseline_thread_count;
using testing::library_reason;
using testing::read_stored_outcome;
using testing::rerun_problem;
using testing::run_config;
using testing::settled_thread_count;
using testing::StoredOutcome;

// TRUVELLO_SOAK_SCALE multiplies every count, for the long soak.
int scaled(int count) {
  const char* text = std::getenv("TRUVELLO_SOAK_SCALE");
  const int scale = text == nullptr ? 1 : std::atoi(text);
  return count * (scale > 0 ? scale : 1);
}

const int kRejectCycles = scaled(10'000);
const int kCancelledRuns = scaled(1'000);
const int kShortRuns = scaled(200);

std::uint32_t online_cpus() { return static_cast<std::uint32_t>(sysconf(_SC_NPROCESSORS_ONLN)); }

std::uint32_t expected_workers(std::uint32_t benchmark) {
  return benchmark == TRUVELLO_BENCHMARK_SINGLE ? 1 : online_cpus();
}

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Thread count and resident set at the start of a phase; the end checks the
// threads and prints both.
class PhaseWatch {
 public:
  PhaseWatch(const char* name, int count)
      : name_(name), count_(count), threads_(baseline_thread_count()), rss_(resident_kib()) {}

  void finish() {
    ASSERT_TRUE(threads_.has_value()) << "cannot read the thread count";
    const auto threads = settled_thread_count(*threads_);
    EXPECT_EQ(threads, threads_) << name_ << " left threads behind";
    std::printf("%d %s: threads %llu -> %llu, resident set %llu KiB -> %llu KiB\n", count_, name_,
                static_cast<unsigned long long>(*threads_), static_cast<unsigned long long>(threads.value_or(0)),
                static_cast<unsigned long long>(rss_.value_or(0)),
                static_cast<unsigned long long>(resident_kib().value_or(0)));
  }

 private:
  const char* name_;
  int count_;
  std::optional<std::uint64_t> threads_;
  std::optional<std::uint64_t> rss_;
};

// A record and what its rejection must store.
struct Rejected {
  bool null_record;
  truvello_config config;
  std::string reason;
  std::uint32_t benchmark;
  double warmup_seconds;
  double measurement_seconds;
};

truvello_config edited(void (*edit)(truvello_config&)) {
  truvello_config c = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.01);
  edit(c);
  return c;
}

std::vector<Rejected> rejected_records() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::string durations = library_reason("bad_durations");
  return {
      {true, {}, library_reason("config_null"), 1, kDefaultWarmupSeconds, kDefaultMeasurementSeconds},
      {false, edited([](truvello_config& c) { c.abi_version = 2; }), library_reason("incompatible"), 1,
       kDefaultWarmupSeconds, kDefaultMeasurementSeconds},
      {false, edited([](truvello_config& c) { c.struct_size = 40; }), library_reason("incompatible"), 1,
       kDefaultWarmupSeconds, kDefaultMeasurementSeconds},
      {false, edited([](truvello_config& c) { c.benchmark = 0xFFFFFFFF; }), library_reason("unknown_benchmark"), 1, 0.0,
       0.01},
      {false, edited([](truvello_config& c) {
         c.benchmark = 2;
         c.reserved = 5;
       }),
       library_reason("reserved_nonzero"), 2, 0.0, 0.01},
      {false, edited([](truvello_config& c) { c.warmup_seconds = -1e-300; }), durations, 1, -1e-300, 0.01},
      {false, edited([](truvello_config& c) { c.measurement_seconds = std::numeric_limits<double>::quiet_NaN(); }),
       durations, 1, 0.0, nan},
      // Passes validation, rounds to no time at all: refused by the driver
      // before it claims the process.
      {false, edited([](truvello_config& c) { c.measurement_seconds = 1e-10; }),
       library_reason("measurement_not_positive"), 1, 0.0, 1e-10},
  };
}

TEST(Soak, RejectedRecords) {
  PhaseWatch watch("rejected records", kRejectCycles);
  const auto records = rejected_records();
  for (int i = 0; i < kRejectCycles; ++i) {
    const Rejected& want = records[static_cast<std::size_t>(i) % records.size()];
    truvello_handle* handle = truvello_create();
    ProgressLog log;
    const std::uint32_t status = truvello_run(handle, want.null_record ? nullptr : &want.config, &log_progress, &log);
    StoredOutcome out;
    const std::string problem = read_stored_outcome(handle, status, out);
    const std::string rerun = rerun_problem(handle, out);
    truvello_free(handle);

    ASSERT_EQ(problem, "") << "cycle " << i;
    ASSERT_EQ(rerun, "") << "cycle " << i;
    ASSERT_EQ(status, TRUVELLO_STATUS_FAILED) << "cycle " << i;
    ASSERT_EQ(out.reason_text, want.reason) << "cycle " << i;
    ASSERT_EQ(out.result.benchmark, want.benchmark) << "cycle " << i;
    ASSERT_TRUE(same_bits(out.result.warmup_seconds, want.warmup_seconds)) << "cycle " << i;
    ASSERT_TRUE(same_bits(out.result.measurement_seconds, want.measurement_seconds)) << "cycle " << i;
    ASSERT_EQ(out.result.workers, 0u) << "cycle " << i;
    ASSERT_EQ(out.result.sample_count, 0u) << "cycle " << i;
    ASSERT_EQ(out.result.total_ops, 0u) << "cycle " << i;
    ASSERT_EQ(out.result.checksum, 0u) << "cycle " << i;
    ASSERT_EQ(log.calls, 0u) << "cycle " << i;
  }
  watch.finish();
}

TEST(Soak, RunsCancelledBeforeStart) {
  PhaseWatch watch("runs cancelled before start", kCancelledRuns);
  for (int i = 0; i < kCancelledRuns; ++i) {
    const std::uint32_t benchmark = i % 2 == 0 ? TRUVELLO_BENCHMARK_SINGLE : TRUVELLO_BENCHMARK_ALL_CPUS;
    const truvello_config config = run_config(benchmark, 0.0, 0.01);
    truvello_handle* handle = truvello_create();
    truvello_cancel(handle);
    truvello_cancel(handle);  // twice is once
    ProgressLog log;
    const std::uint32_t status = truvello_run(handle, &config, &log_progress, &log);
    StoredOutcome out;
    const std::string problem = read_stored_outcome(handle, status, out);
    const std::string rerun = rerun_problem(handle, out);
    truvello_free(handle);

    ASSERT_EQ(problem, "") << "run " << i;
    ASSERT_EQ(rerun, "") << "run " << i;
    ASSERT_EQ(status, TRUVELLO_STATUS_CANCELLED) << "run " << i;
    ASSERT_EQ(out.reason_text, library_reason("cancelled_before_starting")) << "run " << i;
    ASSERT_EQ(out.result.workers, expected_workers(benchmark)) << "run " << i;
    ASSERT_EQ(out.result.sample_count, 0u) << "run " << i;
    ASSERT_EQ(out.result.total_ops, 0u) << "run " << i;
    ASSERT_EQ(log.calls, 0u) << "run " << i;
  }
  watch.finish();
}

TEST(Soak, ShortRunsOfBothBenchmarks) {
  PhaseWatch watch("short runs", kShortRuns);
  const auto baseline = baseline_thread_count();
  ASSERT_TRUE(baseline.has_value());
  int completed[3] = {};
  int too_short[3] = {};
  for (int i = 0; i < kShortRuns; ++i) {
    const std::uint32_t benchmark = i % 2 == 0 ? TRUVELLO_BENCHMARK_SINGLE : TRUVELLO_BENCHMARK_ALL_CPUS;
    const double measurement = 0.005 * (1 + (i / 2) % 4);  // 5 to 20 ms
    const truvello_config config = run_config(benchmark, 0.0, measurement);
    truvello_handle* handle = truvello_create();
    ProgressLog log;
    const std::uint32_t status = truvello_run(handle, &config, &log_progress, &log);
    StoredOutcome out;
    const std::string problem = read_stored_outcome(handle, status, out);
    const std::string rerun = rerun_problem(handle, out);
    truvello_free(handle);

    ASSERT_EQ(problem, "") << "run " << i;
    ASSERT_EQ(rerun, "") << "run " << i;
    ASSERT_EQ(log.problem, "") << "run " << i;
    ASSERT_EQ(out.result.workers, expected_workers(benchmark)) << "run " << i;
    ASSERT_EQ(log.final_calls, 1u) << "run " << i;
    ASSERT_EQ(out.result.measurement_seconds, measurement) << "run " << i;
    // A worker that is not scheduled before the window closes counts nothing:
    // a possible outcome on a busy machine, and the library must say so.
    if (status == TRUVELLO_STATUS_COMPLETED) {
      ASSERT_EQ(log.last_phase, TRUVELLO_PHASE_DONE) << "run " << i;
      ++completed[benchmark];
    } else {
      ASSERT_EQ(status, TRUVELLO_STATUS_FAILED) << "run " << i;
      ASSERT_EQ(out.reason_text, library_reason("too_short")) << "run " << i;
      ASSERT_EQ(log.last_phase, TRUVELLO_PHASE_FAILED) << "run " << i;
      ++too_short[benchmark];
    }
    ASSERT_EQ(settled_thread_count(*baseline), baseline) << "run " << i << " left a thread behind";
  }
  std::printf("short runs: single CPU %d completed, %d too short; all CPUs %d completed, %d too short\n", completed[1],
              too_short[1], completed[2], too_short[2]);
  watch.finish();
}

}  // namespace
}  // namespace truvello::reliability
