#include "stats/warnings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "options/options.h"
#include "output/units.h"
#include "test_samples.h"

namespace truvello::cli {
namespace {

using testing::completed_result;
using testing::one_second_samples;

bool has_code(const std::vector<Warning>& warnings, const std::string& code) {
  return std::any_of(warnings.begin(), warnings.end(), [&](const Warning& w) { return w.code == code; });
}

TEST(DriftWarning, FiresAboveFivePercentEitherWay) {
  const auto falling = drift_warning(one_second_samples({100, 100, 100, 94, 94, 94}));
  ASSERT_TRUE(falling.has_value());
  EXPECT_EQ(falling->code, "drift");
  EXPECT_NE(falling->message.find("fell by 6.00 %"), std::string::npos) << falling->message;

  const auto rising = drift_warning(one_second_samples({100, 100, 100, 106, 106, 106}));
  ASSERT_TRUE(rising.has_value());
  EXPECT_NE(rising->message.find("rose by 6.00 %"), std::string::npos) << rising->message;
}

TEST(DriftWarning, QuietAtOrBelowFivePercentAndOnTooFewSamples) {
  EXPECT_FALSE(drift_warning(one_second_samples({100, 100, 100, 95, 95, 95})).has_value());
  EXPECT_FALSE(drift_warning(one_second_samples({100, 103, 98, 101, 99, 102})).has_value());
  // Two samples halve the window; a trend over them is noise.
  EXPECT_FALSE(drift_warning(one_second_samples({100, 50})).has_value());
  EXPECT_FALSE(drift_warning({}).has_value());
}

TEST(DriftWarning, NoiseInTheMiddleDoesNotCount) {
  // The thirds agree; only the middle dipped.
  EXPECT_FALSE(drift_warning(one_second_samples({100, 100, 40, 40, 100, 100})).has_value());
}

TEST(BusyMachineWarning, FromParsedLoadAverage) {
  EXPECT_FALSE(busy_machine_warning(parse_loadavg("0.35 0.13 0.04 1/117 4315"), 2).has_value());
  const auto busy = busy_machine_warning(parse_loadavg("1.50 0.90 0.40 3/117 4315"), 2);
  ASSERT_TRUE(busy.has_value());
  EXPECT_EQ(busy->code, "busy");
  EXPECT_TRUE(busy->machine_wide);
  EXPECT_NE(busy->message.find("1.50"), std::string::npos);
  // On a big machine a little background load is not "busy"...
  EXPECT_FALSE(busy_machine_warning(parse_loadavg("1.50 1 1 1/1 1"), 64).has_value());
  // ... but a tenth of its CPUs is.
  EXPECT_TRUE(busy_machine_warning(parse_loadavg("6.40 1 1 1/1 1"), 64).has_value());
  EXPECT_FALSE(busy_machine_warning(std::nullopt, 2).has_value());
  EXPECT_FALSE(busy_machine_warning(parse_loadavg("garbage"), 2).has_value());
}

TEST(CpuLimitWarning, CgroupQuotaFromCpuMaxText) {
  // No limit: the all-CPU run's two workers each get a CPU.
  EXPECT_FALSE(cpu_limit_warning(2, 2, 2u, parse_cpu_max("max 100000")).has_value());
  // Half a CPU: both benchmarks start more workers than can run.
  const auto quota = parse_cpu_max("50000 100000");
  const auto all = cpu_limit_warning(2, 2, 2u, quota);
  ASSERT_TRUE(all.has_value());
  EXPECT_EQ(all->code, "cpu_limit");
  EXPECT_FALSE(all->machine_wide);
  EXPECT_NE(all->message.find("Only 0.5 of 2 online CPUs"), std::string::npos) << all->message;
  EXPECT_NE(all->message.find("cpu.max 50000 100000"), std::string::npos) << all->message;
  EXPECT_TRUE(cpu_limit_warning(1, 2, 2u, quota).has_value());
  // A quota of a whole CPU still fits the single worker.
  EXPECT_FALSE(cpu_limit_warning(1, 4, 4u, parse_cpu_max("100000 100000")).has_value());
  EXPECT_TRUE(cpu_limit_warning(4, 4, 4u, parse_cpu_max("100000 100000")).has_value());
}

TEST(CpuLimitWarning, AffinityMaskAndTheTighterOfBoth) {
  const auto pinned = cpu_limit_warning(8, 8, 2u, std::nullopt);
  ASSERT_TRUE(pinned.has_value());
  EXPECT_NE(pinned->message.find("Only 2 of 8"), std::string::npos) << pinned->message;
  EXPECT_NE(pinned->message.find("affinity"), std::string::npos);
  EXPECT_FALSE(cpu_limit_warning(1, 8, 2u, std::nullopt).has_value());

  const auto both = cpu_limit_warning(8, 8, 4u, parse_cpu_max("150000 100000"));
  ASSERT_TRUE(both.has_value());
  EXPECT_NE(both->message.find("Only 1.5 of 8"), std::string::npos) << both->message;
  EXPECT_FALSE(cpu_limit_warning(8, 8, std::nullopt, std::nullopt).has_value());
}

TEST(OtherWarnings, GovernorThrottleHypervisorWindow) {
  EXPECT_FALSE(governor_warning({}).has_value());
  EXPECT_FALSE(governor_warning({"performance"}).has_value());
  const auto mixed = governor_warning({"performance", "powersave"});
  ASSERT_TRUE(mixed.has_value());
  EXPECT_NE(mixed->message.find("\"powersave\""), std::string::npos);

  EXPECT_FALSE(throttle_warning(5u, 5u).has_value());
  EXPECT_FALSE(throttle_warning(std::nullopt, 9u).has_value());
  EXPECT_FALSE(throttle_warning(9u, 5u).has_value()) << "a counter reset is not throttling";
  const auto throttled = throttle_warning(5u, 17u);
  ASSERT_TRUE(throttled.has_value());
  EXPECT_NE(throttled->message.find("rose by 12"), std::string::npos);

  EXPECT_TRUE(hypervisor_warning(true).has_value());
  EXPECT_FALSE(hypervisor_warning(false).has_value());

  EXPECT_TRUE(short_window_warning(std::nextafter(kMinComparableWindow, 0.0)).has_value());
  EXPECT_FALSE(short_window_warning(kMinComparableWindow).has_value());
  EXPECT_FALSE(short_window_warning(kDefaultMeasurementSeconds).has_value());
  const auto short_window = short_window_warning(0.3);
  ASSERT_TRUE(short_window.has_value());
  EXPECT_NE(short_window->message.find("at least " + length_text(kMinComparableWindow)), std::string::npos)
      << short_window->message;
}

TEST(OtherWarnings, UnstableFollowsTheLibrarysFlagOnly) {
  auto r = completed_result(one_second_samples({100, 100}));
  r.cv_valid = 1;
  r.cv_percent = 25.0;
  r.unstable = 0;
  EXPECT_FALSE(unstable_warning(r).has_value());
  r.unstable = 1;
  const auto w = unstable_warning(r);
  ASSERT_TRUE(w.has_value());
  EXPECT_NE(w->message.find("25.0 %"), std::string::npos);
}

TEST(RunWarnings, FailedRunGetsOnlyMachineWarnings) {
  MachineContext machine;
  machine.online_cpus = 2;
  machine.hypervisor = true;
  machine.cpu_quota = parse_cpu_max("50000 100000");
  RunOutcome failed;
  failed.config.measurement_seconds = 0.0;
  failed.status = TRUVELLO_STATUS_FAILED;
  failed.result = truvello_result_record{};
  failed.result->status = TRUVELLO_STATUS_FAILED;
  const auto warnings = run_warnings(failed, machine);
  EXPECT_TRUE(has_code(warnings, "hypervisor"));
  EXPECT_FALSE(has_code(warnings, "short_window"));
  EXPECT_FALSE(has_code(warnings, "cpu_limit"));
}

TEST(RunWarnings, CompletedRunCollectsItsOwnAndTheMachines) {
  MachineContext machine;
  machine.online_cpus = 2;
  machine.affinity_cpus = 2;
  machine.governors = {"powersave"};
  RunOutcome run;
  run.samples = one_second_samples({100, 100, 100, 80, 80, 80});
  run.config.benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  run.config.measurement_seconds = 6.0;
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples, TRUVELLO_BENCHMARK_ALL_CPUS, 2);
  run.throttle_before = 0;
  run.throttle_after = 3;
  const auto warnings = run_warnings(run, machine);
  for (const char* code : {"drift", "short_window", "throttle", "governor"}) {
    EXPECT_TRUE(has_code(warnings, code)) << code;
  }
  EXPECT_FALSE(has_code(warnings, "cpu_limit"));
  EXPECT_FALSE(has_code(warnings, "unstable"));
  EXPECT_FALSE(has_code(warnings, "busy"));
}

}  // namespace
}  // namespace truvello::cli
