#include "worker_loop.h"

#include <gtest/gtest.h>

#include "faulty_runtime.h"

namespace truvello {
namespace {

using testing::FaultyRuntime;

// One worker and the blocks it refers to, wired as the run driver wires
// them; the members are destroyed in reverse, the worker's thread first.
struct Rig {
  FaultyRuntime runtime;
  RunState run{4};
  std::atomic<bool> cancel{false};
  std::pair<ReadySender, ReadyReceiver> queue = ReadinessQueue::make();
  std::uint64_t index = 0;
  std::optional<JoinHandle> thread;

  void start(std::uint64_t worker_index = 0) {
    index = worker_index;
    WorkerTask task{index, queue.first.clone(), runtime, run, cancel};
    queue.first.release();
    auto handle = System().spawn(index, WorkItem([task = std::move(task)]() mutable { run_worker(std::move(task)); }));
    ASSERT_TRUE(handle.ok());
    thread.emplace(std::move(handle).value());
  }

  Counters& counters() { return run.counters[index]; }

  void open(Duration warmup_from_now, Duration measurement, Duration backdate = {}) {
    const Instant now = Instant::now();
    const Instant start{now.secs - static_cast<std::int64_t>(backdate.secs), now.nanos};
    const Instant warm_end = *start.checked_add(warmup_from_now);
    run.timing.set(Timing{start, warm_end, *warm_end.checked_add(measurement)});
    run.gate.release();
  }

  JoinHandle::Outcome join() { return thread->join(); }

  bool counters_untouched() {
    for (const Counters& c : run.counters) {
      if (c.warmup_ops != 0 || c.measured_ops != 0 || c.measured_ns != 0 || c.checksum != 0) return false;
    }
    return true;
  }
};

TEST(WorkerLoop, CountsBatchesAndLeavesTheChecksumOfItsLastStep) {
  Rig rig;
  rig.start();
  auto ready = rig.queue.second.receive();
  ASSERT_TRUE(ready && ready->ok());
  // A whole second, so that a worker kept off the CPU for a while after the
  // gate opens still finds the window open.
  rig.open(Duration{}, Duration{1, 0});
  EXPECT_EQ(rig.join(), JoinHandle::Outcome::kNormal);

  EXPECT_EQ(rig.counters().warmup_ops, 0u) << "no warm-up: every batch is measured";
  const std::uint64_t ops = rig.counters().measured_ops;
  ASSERT_GT(ops, 0u);
  EXPECT_EQ(ops % kBatchSteps, 0u);
  EXPECT_GE(rig.counters().measured_ns, 1'000'000'000u);

  Kernel k = std::move(Kernel::new_with_allocator(0)).value();
  std::uint64_t expected = 0;
  for (std::uint64_t i = 0; i < ops; ++i) expected = k.step();
  EXPECT_EQ(rig.counters().checksum, expected);
}

TEST(WorkerLoop, WarmupBatchesCountApart) {
  Rig rig;
  rig.start(3);
  ASSERT_TRUE(rig.queue.second.receive());
  rig.open(Duration{1, 0}, Duration{1, 0});  // long enough to outlast a stalled start
  rig.join();
  EXPECT_GT(rig.counters().warmup_ops, 0u);
  EXPECT_GT(rig.counters().measured_ops, 0u);
  EXPECT_EQ((rig.counters().warmup_ops + rig.counters().measured_ops) % kBatchSteps, 0u);
}

TEST(WorkerLoop, DismissedAtTheGateLeavesCountersAndTimingAlone) {
  Rig rig;
  rig.start();
  ASSERT_TRUE(rig.queue.second.receive());
  rig.run.stop.store(true);
  rig.run.gate.release();  // timing cell left empty: reading it would end the thread abnormally
  EXPECT_EQ(rig.join(), JoinHandle::Outcome::kNormal);
  EXPECT_TRUE(rig.counters_untouched());
}

TEST(WorkerLoop, KernelFailureIsReportedAndTheGateNeverAwaited) {
  Rig rig;
  rig.runtime.kernel_fails_at = 0;
  rig.start();
  auto ready = rig.queue.second.receive();
  ASSERT_TRUE(ready);
  ASSERT_FALSE(ready->ok());
  EXPECT_EQ(ready->message(), "memory allocation failed because the memory allocator returned an error");
  EXPECT_EQ(rig.join(), JoinHandle::Outcome::kNormal) << "ends without the gate opening";
  EXPECT_TRUE(rig.counters_untouched());
  EXPECT_FALSE(rig.queue.second.receive()) << "exactly one entry, then its end is gone";
}

TEST(WorkerLoop, CancelledAtTheGateRunsNoBatch) {
  Rig rig;
  rig.start();
  ASSERT_TRUE(rig.queue.second.receive());
  rig.cancel.store(true);
  rig.open(Duration{60, 0}, Duration{60, 0});
  rig.join();
  EXPECT_EQ(rig.counters().checksum, 0u);
  EXPECT_EQ(rig.counters().measured_ns, 0u) << "left before warm_end";
  EXPECT_EQ(rig.counters().warmup_ops + rig.counters().measured_ops, 0u);
}

TEST(WorkerLoop, EndAlreadyPassedRunsNoBatchButMeasuresTime) {
  Rig rig;
  rig.start();
  ASSERT_TRUE(rig.queue.second.receive());
  rig.open(Duration{}, Duration{1, 0}, Duration{5, 0});
  rig.join();
  EXPECT_EQ(rig.counters().checksum, 0u);
  EXPECT_EQ(rig.counters().measured_ops, 0u);
  EXPECT_GE(rig.counters().measured_ns, 5'000'000'000u);
}

TEST(WorkerLoop, TimingCellTakesOneStore) {
  TimingCell cell;
  EXPECT_THROW(cell.get(), std::logic_error);
  cell.set(Timing{});
  try {
    cell.set(Timing{});
    FAIL() << "a second store must not pass";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "timing is initialized exactly once");
  }
}

TEST(WorkerLoop, CountersOwnTheirCacheLine) {
  const RunState run(3);
  for (const Counters& c : run.counters) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&c) % 64, 0u);
}

}  // namespace
}  // namespace truvello
