// One run per process, shown without relying on luck: a run is held inside
// its progress callback while other handles try to run.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "progress_log.h"
#include "stored_outcome.h"
#include "test_vectors.h"
#include "truvello.h"

namespace truvello::reliability {
namespace {

using testing::library_reason;
using testing::read_stored_outcome;
using testing::rerun_problem;
using testing::run_config;
using testing::StoredOutcome;

// Lets one side wait for the other to reach a named point.
class Latch {
 public:
  void open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    opened_.notify_all();
  }
  void wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    opened_.wait(lock, [this] { return open_; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

struct HeldRun {
  truvello_handle* handle = nullptr;
  ProgressLog log;
  Latch running;
  Latch others_done;
};

// On its first record the run reports in and waits for the others; then it
// cancels itself so that it ends soon after.
void hold_first_record(const truvello_progress_record* record, void* user_data) {
  auto& held = *static_cast<HeldRun*>(user_data);
  const bool first = held.log.calls == 0;
  log_progress(record, &held.log);
  if (!first) return;
  held.running.open();
  held.others_done.wait();
  truvello_cancel(held.handle);
}

TEST(OneRunAtATime, ConcurrentRunsAreRefusedAndTheirHandlesStaySpent) {
  HeldRun held;
  held.handle = truvello_create();
  std::uint32_t held_status = 0;
  std::thread holder([&] {
    held.log.host_thread = std::this_thread::get_id();
    const truvello_config config = run_config(TRUVELLO_BENCHMARK_ALL_CPUS, 0.0, 3600.0);
    held_status = truvello_run(held.handle, &config, &hold_first_record, &held);
    held.running.open();  // in case it ended before its first record
  });
  held.running.wait();

  // A plain run and a pre-cancelled one are refused (admission comes before
  // the cancel check); a null record is rejected before admission is tried.
  struct Attempt {
    const char* name;
    bool cancel_first;
    bool null_record;
    std::string reason;
  };
  const Attempt attempts[] = {
      {"plain", false, false, library_reason("already_running")},
      {"cancelled first", true, false, library_reason("already_running")},
      {"null record", false, true, library_reason("config_null")},
  };
  std::vector<std::pair<truvello_handle*, StoredOutcome>> spent;
  for (const Attempt& attempt : attempts) {
    SCOPED_TRACE(attempt.name);
    truvello_handle* other = truvello_create();
    if (attempt.cancel_first) truvello_cancel(other);
    ProgressLog log;
    const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.01);
    const std::uint32_t status = truvello_run(other, attempt.null_record ? nullptr : &config, &log_progress, &log);
    StoredOutcome out;
    EXPECT_EQ(read_stored_outcome(other, status, out), "");
    EXPECT_EQ(status, TRUVELLO_STATUS_FAILED);
    EXPECT_EQ(out.reason_text, attempt.reason);
    EXPECT_EQ(out.result.workers, 0u);
    EXPECT_EQ(out.result.sample_count, 0u);
    EXPECT_EQ(log.calls, 0u);
    // Spent while the other run goes on, and still after it has ended.
    EXPECT_EQ(rerun_problem(other, out), "");
    spent.emplace_back(other, std::move(out));
  }
  held.others_done.open();
  holder.join();

  StoredOutcome out;
  EXPECT_EQ(read_stored_outcome(held.handle, held_status, out), "");
  EXPECT_EQ(held_status, TRUVELLO_STATUS_CANCELLED) << out.reason_text;
  EXPECT_EQ(out.reason_text, library_reason("cancelled"));
  EXPECT_EQ(held.log.problem, "");
  EXPECT_EQ(held.log.last_phase, TRUVELLO_PHASE_CANCELLED);
  truvello_free(held.handle);
  for (auto& [other, out] : spent) {
    EXPECT_EQ(rerun_problem(other, out), "");
    truvello_free(other);
  }

  // The process is free again.
  truvello_handle* next = truvello_create();
  truvello_cancel(next);
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.01);
  EXPECT_EQ(truvello_run(next, &config, nullptr, nullptr), TRUVELLO_STATUS_CANCELLED);
  EXPECT_STREQ(truvello_reason(next), library_reason("cancelled_before_starting").c_str());
  truvello_free(next);
}

}  // namespace
}  // namespace truvello::reliability
