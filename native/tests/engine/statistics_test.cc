#include "statistics.h"

#include <gtest/gtest.h>

#include <cmath>

#include "test_vectors.h"
#include "truvello_version.h"

namespace truvello {
namespace {

using testing::library_reason;

RunReport measured(double seconds, std::uint64_t total_ops, std::vector<Sample> samples = {}) {
  RunReport r = make_report(1, 0.0, seconds);
  r.measured_seconds = seconds;
  r.total_ops = total_ops;
  r.samples = std::move(samples);
  return r;
}

TEST(AppendSample, AdvancesOnlyForwardInTime) {
  std::vector<Sample> samples;
  double last_t = 0.0;
  std::uint64_t last_ops = 0;
  append_sample(samples, 1000, last_t, last_ops, 1.0);
  append_sample(samples, 2000, last_t, last_ops, 1.0);  // same t
  append_sample(samples, 3000, last_t, last_ops, 0.5);  // earlier t
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].t, 1.0);
  EXPECT_EQ(samples[0].dt, 1.0);
  EXPECT_EQ(samples[0].ops, 1000u);
  EXPECT_EQ(samples[0].rate, 1000.0);
  EXPECT_EQ(last_t, 1.0);
  EXPECT_EQ(last_ops, 1000u);

  append_sample(samples, 1600, last_t, last_ops, 3.0);
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[1].dt, 2.0);
  EXPECT_EQ(samples[1].ops, 600u);
  EXPECT_EQ(samples[1].rate, 300.0);
}

TEST(AppendSample, ASumBelowTheLastCountsZeroNotAWrappedValue) {
  std::vector<Sample> samples;
  double last_t = 1.0;
  std::uint64_t last_ops = 500;
  append_sample(samples, 400, last_t, last_ops, 2.0);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].ops, 0u);
  EXPECT_EQ(samples[0].rate, 0.0);
  EXPECT_EQ(last_ops, 400u);
}

TEST(FinishSamples, ShortWindowGetsOneClosingSample) {
  RunReport r = measured(0.75, 600);
  finish_samples(r);
  ASSERT_EQ(r.samples.size(), 1u);
  EXPECT_EQ(r.samples[0].t, 0.75);
  EXPECT_EQ(r.samples[0].dt, 0.75);
  EXPECT_EQ(r.samples[0].ops, 600u);
  EXPECT_EQ(r.samples[0].rate, 800.0);
}

TEST(FinishSamples, SamplesAtOrPastTheWindowEndMoveIntoTheClosingSample) {
  RunReport r = measured(
      3.0, 900, {{1.0, 1.0, 300, 300.0}, {2.0, 1.0, 300, 300.0}, {3.0, 1.0, 250, 250.0}, {3.5, 0.5, 10, 20.0}});
  finish_samples(r);
  ASSERT_EQ(r.samples.size(), 3u);
  EXPECT_EQ(r.samples[2].t, 3.0);
  EXPECT_EQ(r.samples[2].dt, 1.0) << "begins at the previous kept sample";
  EXPECT_EQ(r.samples[2].ops, 300u);
}

TEST(FinishSamples, KeptOpsAboveTheTotalGiveAnEmptyClosingSample) {
  RunReport r = measured(2.5, 100, {{1.0, 1.0, 80, 80.0}, {2.0, 1.0, 80, 80.0}});
  finish_samples(r);
  ASSERT_EQ(r.samples.size(), 3u);
  EXPECT_EQ(r.samples[2].ops, 0u);
  EXPECT_EQ(r.samples[2].dt, 0.5);
}

TEST(FinishSamples, NothingMeasuredLeavesNoSamples) {
  RunReport r = measured(0.0, 0, {{1.0, 1.0, 8, 8.0}});
  finish_samples(r);
  EXPECT_TRUE(r.samples.empty());
  finish_result(r, false, false);
  EXPECT_EQ(r.status, kStatusFailed);
  EXPECT_EQ(r.reason, library_reason("too_short"));
}

TEST(FinishResult, WorkedExample) {
  RunReport r = measured(3.0, 300, {{1.0, 1.0, 90, 90.0}, {2.0, 1.0, 100, 100.0}, {3.0, 1.0, 110, 110.0}});
  finish_result(r, false, false);
  EXPECT_EQ(r.status, kStatusCompleted);
  EXPECT_EQ(r.reason, "");
  EXPECT_EQ(*r.mean_rate, 100.0);
  ASSERT_TRUE(r.cv_percent);
  EXPECT_EQ(*r.cv_percent, std::sqrt(200.0 / 3.0) / 100.0 * 100.0);
  EXPECT_NEAR(*r.cv_percent, 8.165, 0.001);
  EXPECT_FALSE(r.unstable);
}

TEST(FinishResult, TenPercentIsNotUnstable) {
  RunReport r = measured(2.0, 200, {{1.0, 1.0, 90, 90.0}, {2.0, 1.0, 110, 110.0}});
  finish_result(r, false, false);
  EXPECT_EQ(*r.cv_percent, 10.0);
  EXPECT_FALSE(r.unstable);

  RunReport wide = measured(2.0, 200, {{1.0, 1.0, 50, 50.0}, {2.0, 1.0, 150, 150.0}});
  finish_result(wide, false, false);
  EXPECT_EQ(*wide.cv_percent, 50.0);
  EXPECT_TRUE(wide.unstable);
}

TEST(FinishResult, OneSampleHasAMeanButNoVariation) {
  RunReport r = measured(0.5, 64, {{0.5, 0.5, 64, 128.0}});
  finish_result(r, false, false);
  EXPECT_EQ(r.status, kStatusCompleted);
  EXPECT_EQ(*r.mean_rate, 128.0);
  EXPECT_FALSE(r.cv_percent);
  EXPECT_FALSE(r.unstable);
}

TEST(FinishResult, PanicOutranksCancelWhichOutranksNoWork) {
  RunReport both = measured(1.0, 0);
  finish_result(both, true, true);
  EXPECT_EQ(both.status, kStatusFailed);
  EXPECT_EQ(both.reason, library_reason("worker_panicked"));

  RunReport cancelled = measured(1.0, 0);
  finish_result(cancelled, false, true);
  EXPECT_EQ(cancelled.status, kStatusCancelled);
  EXPECT_EQ(cancelled.reason, library_reason("cancelled"));

  for (RunReport* r : {&both, &cancelled}) {
    EXPECT_FALSE(r->mean_rate);
    EXPECT_FALSE(r->cv_percent);
    EXPECT_FALSE(r->unstable);
  }
}

TEST(RunReportInitialState, FailedEmptyAndVersioned) {
  RunReport r = make_report(2, 1.5, 2.5);
  EXPECT_EQ(r.status, kStatusFailed);
  EXPECT_EQ(r.reason, "");
  EXPECT_TRUE(r.samples.empty());
  EXPECT_STREQ(r.version, TRUVELLO_VERSION_TEXT);
  EXPECT_EQ(r.benchmark, 2u);
  EXPECT_EQ(r.warmup_seconds, 1.5);
  EXPECT_EQ(r.measurement_seconds, 2.5);
  EXPECT_EQ(r.workers, 0u);
  EXPECT_FALSE(r.mean_rate);
  EXPECT_FALSE(r.cv_percent);
}

}  // namespace
}  // namespace truvello
