#include "worker_loop.h"

#include <gtest/gtest.h>

#include "faulty_runtime.h"

namespace truvello {
namespace {

using testing::FaultyRuntime;

// One worker's shared blocks, wired as the run driver wires them.
struct Rig {
  std::shared_ptr<FaultyRuntime> runtime = std::make_shared<FaultyRuntime>();
  std::shared_ptr<StartGate> gate = std::make_shared<StartGate>();
  std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<TimingCell> timing = std::make_shared<TimingCell>();
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<Counters> counters = std::shared_ptr<Counters>(std::make_unique<Counters>());
  std::pair<ReadySender, ReadyReceiver> queue = ReadinessQueue::make();
  std::optional<JoinHandle> thread;

  void start(std::uint64_t index = 0) {
    WorkerTask task{index, queue.first.clone(), runtime, gate, stop, timing, cancel, counters};
    queue.first.release();
    auto handle = System().spawn(index, WorkItem([task = std::move(task)]() mutable { run_worker(std::move(task)); }));
    ASSERT_TRUE(handle.ok());
    thread.emplace(std::move(handle).value());
  }

  void open(Duration warmup_from_now, Duration measurement, Duration backdate = {}) {
    const Instant now = Instant::now();
    const Instant start{now.secs - static_cast<std::int64_t>(backdate.secs), now.nanos};
    const Instant warm_end = *start.checked_add(warmup_from_now);
    timing->set(Timing{start, warm_end, *warm_end.checked_add(measurement)});
    gate->release();
  }

  JoinHandle::Outcome join() { return thread->join(); }

  bool counters_untouched() const {
    return counters->warmup_ops == 0 && counters->measured_ops == 0 && counters->measured_ns == 0 &&
           counters->checksum == 0;
  }
};

TEST(WorkerLoop, CountsBatchesAndLeavesTheChecksumOfItsLastStep) {
  Rig rig;
  rig.start();
  auto ready = rig.queue.second.receive();
  ASSERT_TRUE(ready && ready->ok());
  rig.open(Duration{}, Duration{0, 200'000'000});
  EXPECT_EQ(rig.join(), JoinHandle::Outcome::kNormal);

  EXPECT_EQ(rig.counters->warmup_ops, 0u) << "no warm-up: every batch is measured";
  const std::uint64_t ops = rig.counters->measured_ops;
  ASSERT_GT(ops, 0u);
  EXPECT_EQ(ops % kBatchSteps, 0u);
  EXPECT_GE(rig.counters->measured_ns, 200'000'000u);

  Kernel k = std::move(Kernel::new_with_allocator(0)).value();
  std::uint64_t expected = 0;
  for (std::uint64_t i = 0; i < ops; ++i) expected = k.step();
  EXPECT_EQ(rig.counters->checksum, expected);
}

TEST(WorkerLoop, WarmupBatchesCountApart) {
  Rig rig;
  rig.start(3);
  ASSERT_TRUE(rig.queue.second.receive());
  rig.open(Duration{0, 150'000'000}, Duration{0, 150'000'000});
  rig.join();
  EXPECT_GT(rig.counters->warmup_ops, 0u);
  EXPECT_GT(rig.counters->measured_ops, 0u);
  EXPECT_EQ((rig.counters->warmup_ops + rig.counters->measured_ops) % kBatchSteps, 0u);
}

TEST(WorkerLoop, DismissedAtTheGateLeavesCountersAndTimingAlone) {
  Rig rig;
  rig.start();
  ASSERT_TRUE(rig.queue.second.receive());
  rig.stop->store(true);
  rig.gate->release();  // timing cell left empty: reading it would end the thread abnormally
  EXPECT_EQ(rig.join(), JoinHandle::Outcome::kNormal);
  EXPECT_TRUE(rig.counters_untouched());
}

TEST(WorkerLoop, KernelFailureIsReportedAndTheGateNeverAwaited) {
  Rig rig;
  rig.runtime->kernel_fails_at = 0;
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
  rig.cancel->store(true);
  rig.open(Duration{60, 0}, Duration{60, 0});
  rig.join();
  EXPECT_EQ(rig.counters->checksum, 0u);
  EXPECT_EQ(rig.counters->measured_ns, 0u) << "left before warm_end";
  EXPECT_EQ(rig.counters->warmup_ops + rig.counters->measured_ops, 0u);
}

TEST(WorkerLoop, EndAlreadyPassedRunsNoBatchButMeasuresTime) {
  Rig rig;
  rig.start();
  ASSERT_TRUE(rig.queue.second.receive());
  rig.open(Duration{}, Duration{1, 0}, Duration{5, 0});
  rig.join();
  EXPECT_EQ(rig.counters->checksum, 0u);
  EXPECT_EQ(rig.counters->measured_ops, 0u);
  EXPECT_GE(rig.counters->measured_ns, 5'000'000'000u);
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
  auto a = std::shared_ptr<Counters>(std::make_unique<Counters>());
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a.get()) % 64, 0u);
}

}  // namespace
}  // namespace truvello
