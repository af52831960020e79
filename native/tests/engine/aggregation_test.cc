// How a run with several workers combines them: operations summed, the
// longest measured time, checksums by XOR, and worker i seeded with i.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <vector>

#include "run_driver.h"
#include "runtime.h"
#include "statistics.h"
#include "test_lengths.h"
#include "test_vectors.h"
#include "worker_loop.h"

namespace truvello {
namespace {

using testing::library_reason;

struct WorkerFigures {
  std::uint64_t ops;
  std::uint64_t ns;
  std::uint64_t checksum;
};

struct TotalsCase {
  const char* name;
  std::vector<WorkerFigures> workers;
  std::uint64_t ops;
  double measured_seconds;
  std::uint64_t checksum;
};

// Figures chosen so that a sum, a minimum or a last-one-wins gives a
// different answer than the right combination.
const TotalsCase kTotalsCases[] = {
    {"none", {}, 0, 0.0, 0},
    {"one", {{8, 1'500'000'000, 0xabc}}, 8, 1.5, 0xabc},
    {"longest in the middle",
     {{8, 1'000'000'000, 0b0011}, {16, 3'000'000'000, 0b0101}, {24, 2'000'000'000, 0b0110}},
     48,
     3.0,
     0b0000},
    {"longest first", {{40, 2'000'000'001, 0xff00}, {0, 0, 0x0ff0}}, 40, 2.000000001, 0xf0f0},
    {"carries that XOR drops", {{8, 5, ~0ull}, {8, 5, 1}}, 16, 5e-9, ~1ull},
};

TEST(WorkerTotals, CombinesWorkersBySumMaximumAndXor) {
  for (const TotalsCase& c : kTotalsCases) {
    SCOPED_TRACE(c.name);
    WorkerTotals totals;
    for (const WorkerFigures& w : c.workers) totals.add(w.ops, w.ns, w.checksum);
    RunReport report = make_report(2, 0.0, 1.0);
    totals.store_in(report);
    EXPECT_EQ(report.total_ops, c.ops);
    EXPECT_EQ(report.measured_seconds, c.measured_seconds);
    EXPECT_EQ(report.checksum, c.checksum);
  }
}

// The production runtime with a chosen number of CPUs, noting which kernel
// indices the workers asked for.
class CountedCpus final : public Runtime {
 public:
  explicit CountedCpus(std::uint32_t cpus) : cpus_(cpus) {}

  ValueOrError<std::uint32_t, PlatformError> available_cpus() override { return cpus_; }
  ValueOrError<JoinHandle, PlatformError> spawn(std::uint64_t index, WorkItem work) override {
    return system_.spawn(index, std::move(work));
  }
  ValueOrError<Kernel> kernel(std::uint64_t index) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      kernels_.push_back(index);
    }
    return system_.kernel(index);
  }

  std::multiset<std::uint64_t> kernels() {
    std::lock_guard<std::mutex> lock(mutex_);
    return {kernels_.begin(), kernels_.end()};
  }

 private:
  System system_;
  const std::uint32_t cpus_;
  std::mutex mutex_;
  std::vector<std::uint64_t> kernels_;  // guarded by mutex_
};

// The checksum after each whole batch of the kernel seeded with `seed`:
// element b is the result of step 8 * b (0 before any step).
std::vector<std::uint64_t> batch_results(std::uint64_t seed, std::uint64_t batches) {
  Kernel kernel = std::move(Kernel::new_with_allocator(seed)).value();
  std::vector<std::uint64_t> results{0};
  for (std::uint64_t b = 0; b < batches; ++b) {
    std::uint64_t last = 0;
    for (std::uint64_t s = 0; s < kBatchSteps; ++s) last = kernel.step();
    results.push_back(last);
  }
  return results;
}

// Whether some split of `batches` whole batches over the workers, worker i
// running the kernel seeded with i, gives `checksum` as the XOR of their last
// results. Every worker counts what it does and nothing else, so the split
// exists exactly when the run summed, seeded and combined them right.
bool some_split_explains(std::uint64_t checksum, std::uint64_t batches, std::uint32_t workers) {
  std::vector<std::vector<std::uint64_t>> results;
  for (std::uint32_t i = 0; i < workers; ++i) results.push_back(batch_results(i, batches));
  const std::uint64_t b = batches;
  switch (workers) {
    case 1:
      return results[0][b] == checksum;
    case 2:
      for (std::uint64_t b0 = 0; b0 <= b; ++b0) {
        if ((results[0][b0] ^ results[1][b - b0]) == checksum) return true;
      }
      return false;
    case 3:
      for (std::uint64_t b0 = 0; b0 <= b; ++b0) {
        for (std::uint64_t b1 = 0; b0 + b1 <= b; ++b1) {
          if ((results[0][b0] ^ results[1][b1] ^ results[2][b - b0 - b1]) == checksum) return true;
        }
      }
      return false;
    default:
      ADD_FAILURE() << "no split search for " << workers << " workers";
      return false;
  }
}

TEST(WorkerTotals, RunsCombineTheirWorkersSeededByIndex) {
  for (const std::uint32_t workers : {1u, 2u, 3u}) {
    SCOPED_TRACE(std::to_string(workers) + " workers");
    auto runtime = std::make_shared<CountedCpus>(workers);
    // No warm-up, so that every batch a worker runs is a measured one.
    const RunReport report =
        run_with(2, testing::lengths(0.0, 0.03), std::make_shared<std::atomic<bool>>(false), {}, runtime);
    if (report.status != kStatusCompleted) {
      // A machine too busy to run a batch within the window proves nothing.
      ASSERT_EQ(report.reason, library_reason("too_short"));
      continue;
    }
    EXPECT_EQ(report.workers, workers);
    std::multiset<std::uint64_t> expected;
    for (std::uint64_t i = 0; i < workers; ++i) expected.insert(i);
    EXPECT_EQ(runtime->kernels(), expected) << "each worker builds its own kernel, worker i with index i";
    ASSERT_EQ(report.total_ops % kBatchSteps, 0u);
    EXPECT_TRUE(some_split_explains(report.checksum, report.total_ops / kBatchSteps, workers))
        << "checksum " << report.checksum << " after " << report.total_ops << " operations";
    EXPECT_GE(report.measured_seconds, 0.03) << "every worker measures to the end of the window";
  }
}

}  // namespace
}  // namespace truvello
