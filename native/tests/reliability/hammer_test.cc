// Eight host threads create handles and run them back to back while two more
// cancel and read those handles at random moments. Whatever the interleaving,
// every run must end in one of its documented outcomes, no two runs may ever
// be in progress together, and every handle that ran stays spent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "process_threads.h"
#include "progress_log.h"
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

constexpr int kRunners = 8;
constexpr int kMeddlers = 2;
constexpr auto kHammerTime = std::chrono::seconds(6);

// Runs between their first and their final progress record. A run is inside
// its claim on the process for that whole stretch, so two of these at once
// means two runs at once.
std::atomic<int> runs_in_progress{0};
std::atomic<int> overlaps{0};

struct WatchedRun {
  ProgressLog log;
};

void watch_progress(const truvello_progress_record* record, void* user_data) {
  auto& run = *static_cast<WatchedRun*>(user_data);
  if (run.log.calls == 0 && runs_in_progress.fetch_add(1) != 0) overlaps.fetch_add(1);
  log_progress(record, &run.log);
  if (is_final_phase(record->phase)) runs_in_progress.fetch_sub(1);
}

// Where runners publish their current handle to the meddlers. A runner takes
// its handle back under the slot's lock before freeing it, so no meddler call
// ever overlaps truvello_free.
struct Slot {
  std::mutex mutex;
  truvello_handle* handle = nullptr;
};

struct Tally {
  std::atomic<std::uint64_t> completed{0};
  std::atomic<std::uint64_t> cancelled_before_start{0};
  std::atomic<std::uint64_t> cancelled_during_run{0};
  std::atomic<std::uint64_t> refused{0};
  std::atomic<std::uint64_t> too_short{0};
  std::atomic<std::uint64_t> cancels{0};
  std::atomic<std::uint64_t> reads{0};
};

class Problems {
 public:
  void add(const std::string& problem) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (list_.size() < 20) list_.push_back(problem);
    ++count_;
  }
  std::string summary() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const auto& p : list_) text += p + "\n";
    return text;
  }
  std::uint64_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> list_;
  std::uint64_t count_ = 0;
};

std::uint32_t online_cpus() { return static_cast<std::uint32_t>(sysconf(_SC_NPROCESSORS_ONLN)); }

// Sorts one finished run into its outcome, or names what is wrong with it.
std::string classify(std::uint32_t status, std::uint32_t benchmark, const StoredOutcome& out, const ProgressLog& log,
                     Tally& tally) {
  const std::string& reason = out.reason_text;
  const std::uint32_t workers = benchmark == TRUVELLO_BENCHMARK_SINGLE ? 1 : online_cpus();
  const bool ran = log.calls != 0;
  if (ran && (log.final_calls != 1 || !is_final_phase(log.last_phase))) return "a run without its final record";
  if (status == TRUVELLO_STATUS_COMPLETED && reason.empty() && log.last_phase == TRUVELLO_PHASE_DONE) {
    ++tally.completed;
  } else if (status == TRUVELLO_STATUS_CANCELLED && reason == library_reason("cancelled_before_starting") && !ran) {
    if (out.result.workers != workers) return "cancelled before start with the wrong worker count";
    ++tally.cancelled_before_start;
  } else if (status == TRUVELLO_STATUS_CANCELLED && reason == library_reason("cancelled") &&
             log.last_phase == TRUVELLO_PHASE_CANCELLED) {
    ++tally.cancelled_during_run;
  } else if (status == TRUVELLO_STATUS_FAILED && reason == library_reason("already_running") && !ran) {
    if (out.result.workers != 0 || out.result.sample_count != 0) return "a refused run reports work";
    ++tally.refused;
  } else if (status == TRUVELLO_STATUS_FAILED && reason == library_reason("too_short") &&
             log.last_phase == TRUVELLO_PHASE_FAILED) {
    ++tally.too_short;  // a worker starved of CPU for the whole window
  } else {
    return "unexpected outcome: status " + std::to_string(status) + ", reason \"" + reason + "\", " +
           std::to_string(log.calls) + " progress records";
  }
  if (ran && out.result.workers != workers) return "a run with the wrong worker count";
  return "";
}

void runner(int index, Slot& slot, std::chrono::steady_clock::time_point until, Tally& tally, Problems& problems) {
  std::mt19937 random(static_cast<unsigned>(index) * 7919u + 1u);
  while (std::chrono::steady_clock::now() < until) {
    truvello_handle* handle = truvello_create();
    {
      std::lock_guard<std::mutex> lock(slot.mutex);
      slot.handle = handle;
    }
    const std::uint32_t benchmark = random() % 2 == 0 ? TRUVELLO_BENCHMARK_SINGLE : TRUVELLO_BENCHMARK_ALL_CPUS;
    const truvello_config config = run_config(benchmark, 0.0, 0.005 * (1 + random() % 4));
    WatchedRun run;
    const std::uint32_t status = truvello_run(handle, &config, &watch_progress, &run);

    StoredOutcome out;
    std::string problem = read_stored_outcome(handle, status, out);
    if (problem.empty()) problem = run.log.problem;
    if (problem.empty()) problem = classify(status, benchmark, out, run.log, tally);
    if (problem.empty()) problem = rerun_problem(handle, out);
    if (!problem.empty()) problems.add("runner " + std::to_string(index) + ": " + problem);

    {
      std::lock_guard<std::mutex> lock(slot.mutex);
      slot.handle = nullptr;
    }
    truvello_free(handle);
    // A refused host tries again at once; yielding only keeps eight spinning
    // hosts from starving the run that holds the process on two cores.
    if (status == TRUVELLO_STATUS_FAILED) std::this_thread::yield();
  }
}

// What a reader may see on a handle that another thread is running: nothing
// yet, or the complete and final outcome, and never a half-written record.
std::string read_problem(truvello_handle* handle, std::mt19937& random) {
  truvello_result_record result{};
  result.status = 99;
  if (truvello_result(handle, &result) == 1) {
    if (result.abi_version != TRUVELLO_ABI_VERSION || result.status > TRUVELLO_STATUS_FAILED) {
      return "a torn result record";
    }
    const char* reason = truvello_reason(handle);
    if (reason == nullptr) return "a result without a reason";
    if (truvello_reason(handle) != reason) return "the reason text moved";
    if (result.sample_count != 0) {
      truvello_sample_record sample{};
      if (truvello_sample(handle, random() % result.sample_count, &sample) != 1) return "a stored sample vanished";
      if (!(sample.dt > 0.0)) return "a torn sample record";
    }
  } else if (result.status != 99) {
    return "a failed result read wrote its record";
  }
  truvello_sample_record sample{-1.0, -1.0, 3, -1.0};
  if (truvello_sample(handle, random() % 4, &sample) == 0 && (sample.ops != 3 || sample.t != -1.0)) {
    return "a failed sample read wrote its record";
  }
  return "";
}

void meddler(int index, std::array<Slot, kRunners>& slots, const std::atomic<bool>& stop, Tally& tally,
             Problems& problems) {
  std::mt19937 random(static_cast<unsigned>(index) * 104729u + 17u);
  while (!stop.load()) {
    Slot& slot = slots[random() % kRunners];
    {
      std::lock_guard<std::mutex> lock(slot.mutex);
      if (slot.handle != nullptr) {
        if (random() % 24 == 0) {
          truvello_cancel(slot.handle);
          ++tally.cancels;
        } else {
          ++tally.reads;
          if (auto problem = read_problem(slot.handle, random); !problem.empty()) {
            problems.add("meddler " + std::to_string(index) + ": " + problem);
          }
        }
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 1000));
  }
}

TEST(Hammer, EightHostsRunWhileTwoCancelAndRead) {
  const auto threads_before = baseline_thread_count();
  ASSERT_TRUE(threads_before.has_value());
  Tally tally;
  Problems problems;
  std::array<Slot, kRunners> slots;
  std::atomic<bool> stop{false};
  const auto until = std::chrono::steady_clock::now() + kHammerTime;

  std::vector<std::thread> meddlers;
  for (int i = 0; i < kMeddlers; ++i) {
    meddlers.emplace_back(meddler, i, std::ref(slots), std::cref(stop), std::ref(tally), std::ref(problems));
  }
  std::vector<std::thread> runners;
  for (int i = 0; i < kRunners; ++i) {
    runners.emplace_back(runner, i, std::ref(slots[static_cast<std::size_t>(i)]), until, std::ref(tally),
                         std::ref(problems));
  }
  for (auto& t : runners) t.join();
  stop.store(true);
  for (auto& t : meddlers) t.join();

  std::printf(
      "hammer: %llu completed, %llu cancelled before start, %llu cancelled during the run, %llu refused, "
      "%llu too short; %llu cancels and %llu reads by the meddlers\n",
      static_cast<unsigned long long>(tally.completed.load()),
      static_cast<unsigned long long>(tally.cancelled_before_start.load()),
      static_cast<unsigned long long>(tally.cancelled_during_run.load()),
      static_cast<unsigned long long>(tally.refused.load()), static_cast<unsigned long long>(tally.too_short.load()),
      static_cast<unsigned long long>(tally.cancels.load()), static_cast<unsigned long long>(tally.reads.load()));

  EXPECT_EQ(problems.count(), 0u) << problems.summary();
  EXPECT_EQ(overlaps.load(), 0) << "two runs were in progress at once";
  EXPECT_EQ(runs_in_progress.load(), 0);
  EXPECT_EQ(settled_thread_count(*threads_before), threads_before) << "threads left behind";
}

}  // namespace
}  // namespace truvello::reliability
