// A run's checksum and counts checked against the workload kernel itself.
#include <gtest/gtest.h>

#include <stdexcept>

#include "kernel.h"
#include "owned_handle.h"
#include "test_vectors.h"
#include "truvello.h"

namespace {

using truvello::testing::library_reason;
using truvello::testing::make_handle;
using truvello::testing::OwnedHandle;

truvello_result_record run_single(double warmup, double measurement, const OwnedHandle& handle) {
  truvello_config config;
  EXPECT_EQ(truvello_default_config(&config), 1);
  config.warmup_seconds = warmup;
  config.measurement_seconds = measurement;
  EXPECT_EQ(truvello_run(handle.get(), &config, nullptr, nullptr), TRUVELLO_STATUS_COMPLETED)
      << truvello_reason(handle.get());
  truvello_result_record r{};
  EXPECT_EQ(truvello_result(handle.get(), &r), 1);
  return r;
}

std::uint64_t seed0_step(std::uint64_t n) {
  auto k = std::move(truvello::Kernel::new_with_allocator(0)).value();
  std::uint64_t result = 0;
  for (std::uint64_t i = 0; i < n; ++i) result = k.step();
  return result;
}

// With no warm-up every batch of the one worker is measured, so the run's
// checksum is the result of the seed-0 kernel's step number total_ops.
TEST(RunAgainstKernel, ChecksumIsTheLastMeasuredStep) {
  const OwnedHandle handle = make_handle();
  const truvello_result_record r = run_single(0.0, 0.5, handle);
  ASSERT_GT(r.total_ops, 0u);
  EXPECT_EQ(r.checksum, seed0_step(r.total_ops));
}

// Ops counted in warm-up are not in total_ops, but the kernel has stepped
// through them: the checksum belongs to a later step than total_ops.
TEST(RunAgainstKernel, WarmupStepsAreNotMeasured) {
  const OwnedHandle handle = make_handle();
  const truvello_result_record r = run_single(0.3, 0.3, handle);
  ASSERT_GT(r.total_ops, 0u);
  EXPECT_NE(r.checksum, seed0_step(r.total_ops));
}

TEST(RunAgainstKernel, ReasonWithoutNulBytesAndRecordsComplete) {
  const OwnedHandle handle = make_handle();
  const truvello_result_record r = run_single(0.0, 0.2, handle);
  EXPECT_EQ(r.abi_version, TRUVELLO_ABI_VERSION);
  EXPECT_STREQ(truvello_reason(handle.get()), "");
  truvello_sample_record s{};
  ASSERT_EQ(truvello_sample(handle.get(), 0, &s), 1);
  EXPECT_EQ(s.t, r.measured_seconds);
  EXPECT_EQ(s.ops, r.total_ops);
}

}  // namespace

namespace {

// A C++ host's callback that throws unwinds into the run; the guard at the
// entry turns it into a failed outcome, every worker is joined and the
// process is free for the next run.
TEST(RunGuard, AnExceptionFromTheCallbackBecomesAFailedOutcome) {
  const OwnedHandle handle = make_handle();
  truvello_config config;
  truvello_default_config(&config);
  config.benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  config.warmup_seconds = 0.0;
  config.measurement_seconds = 5.0;
  auto throwing = [](const truvello_progress_record*, void*) { throw std::runtime_error("host callback failed"); };
  EXPECT_EQ(truvello_run(handle.get(), &config, throwing, nullptr), TRUVELLO_STATUS_FAILED);
  EXPECT_STREQ(truvello_reason(handle.get()), library_reason("native_panicked").c_str());
  truvello_result_record r{};
  ASSERT_EQ(truvello_result(handle.get(), &r), 1);
  EXPECT_EQ(r.benchmark, 2u);
  EXPECT_EQ(r.workers, 0u);
  EXPECT_EQ(r.measurement_seconds, 5.0);

  const OwnedHandle next = make_handle();
  EXPECT_EQ(run_single(0.0, 0.1, next).status, TRUVELLO_STATUS_COMPLETED);
}

}  // namespace
