#include "statistics/warnings.h"

#include "machine/machine_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "commands/options.h"
#include "test_samples.h"
#include "text/units.h"

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

  // Read back from a document, the same warnings are machine-wide or not
  // exactly as the rules marked them.
  RunOutcome saved = run;
  saved.recorded_warnings.emplace();
  for (const Warning& w : warnings) saved.recorded_warnings->push_back({w.code, w.message});
  const auto read_back = run_warnings(saved, MachineContext{});
  ASSERT_EQ(read_back.size(), warnings.size());
  for (std::size_t i = 0; i < warnings.size(); ++i) {
    EXPECT_EQ(read_back[i].machine_wide, warnings[i].machine_wide) << warnings[i].code;
  }
}

WorkerObservation observed(unsigned index, double window, double cpu, std::optional<double> wait = std::nullopt,
                           std::optional<std::uint64_t> switches = std::nullopt, std::vector<unsigned> cpus = {},
                           std::vector<std::string> core_types = {}) {
  return WorkerObservation{"truvello-" + std::to_string(index), window, cpu, wait, switches, cpus, core_types};
}

TEST(ObservedWarnings, ShareAndWaitNameTheWorkersAndTheirFigures) {
  struct Case {
    const char* what;
    std::vector<WorkerObservation> workers;
    const char* share;  // the cpu_share message, or nullptr for none
    const char* wait;   // the cpu_wait message, or nullptr for none
  };
  std::vector<WorkerObservation> many;
  for (unsigned i = 0; i < 7; ++i) many.push_back(observed(i, 10, 5.0));
  const Case table[] = {
      {"a whole CPU", {observed(0, 10, 9.95, 0.01)}, nullptr, nullptr},
      {"disturbed",
       {observed(0, 10, 7.1, 0.81)},
       "Worker truvello-0 got 0.71 of a CPU during the measurement: other work took the rest.",
       "Worker truvello-0 waited for a CPU 8.10 % of the measurement while ready to run: other work held its CPU."},
      {"at the limits", {observed(0, 10, kMinCpuShare * 10, kCpuWaitLimitPercent / 10)}, nullptr, nullptr},
      {"a window too short to judge", {observed(0, kMinObservedWindow / 2, 0.01, 0.2)}, nullptr, nullptr},
      {"wait unknown", {observed(0, 10, 10)}, nullptr, nullptr},
      {"two of three",
       {observed(0, 10, 7.1, 0.3), observed(1, 10, 10, 0), observed(2, 10, 8, 0.5)},
       "Workers truvello-0 (0.71) and truvello-2 (0.80) got less than a whole CPU during the measurement: other "
       "work took the rest.",
       "Workers truvello-0 (3.00 %) and truvello-2 (5.00 %) waited for a CPU during the measurement while ready to "
       "run: other work held their CPUs."},
      {"many", many,
       "Workers truvello-0 (0.50), truvello-1 (0.50), truvello-2 (0.50), truvello-3 (0.50) and 3 more got less than "
       "a whole CPU during the measurement: other work took the rest.",
       nullptr},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const std::optional<RunObservation> observation = RunObservation{c.workers};
    const auto share = cpu_share_warning(observation);
    const auto wait = cpu_wait_warning(observation);
    ASSERT_EQ(share.has_value(), c.share != nullptr);
    ASSERT_EQ(wait.has_value(), c.wait != nullptr);
    if (share) {
      EXPECT_EQ(share->message, c.share);
    }
    if (wait) {
      EXPECT_EQ(wait->message, c.wait);
    }
  }
  EXPECT_FALSE(cpu_share_warning(std::nullopt).has_value());

  // They are the run's own, and only a run that ran has them.
  RunOutcome run;
  run.samples = one_second_samples({100, 100});
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples);
  run.config.measurement_seconds = 2.0;
  run.observation = RunObservation{{observed(0, 10, 7.1, 0.81)}};
  const auto warnings = run_warnings(run, MachineContext{});
  for (const char* code : {"cpu_share", "cpu_wait"}) {
    EXPECT_TRUE(has_code(warnings, code)) << code;
  }
  EXPECT_TRUE(std::none_of(warnings.begin(), warnings.end(), [](const Warning& w) { return w.machine_wide; }));
}

TEST(ObservedWarnings, EvidenceText) {
  EXPECT_EQ(observation_text(RunObservation{{observed(0, 10, 7.1, 0.81, 412, {0, 1})}}),
            "truvello-0: 0.71 CPU, waited 8.10 % of the window, 412 involuntary switches, CPUs 0-1");
  EXPECT_EQ(observation_text(
                RunObservation{{observed(0, 2, 2, std::nullopt, std::nullopt, {0, 1, 16}, {"core", "core", "atom"}),
                                observed(1, 2, 1, 0.0, 0)}}),
            "truvello-0: 1.00 CPU, CPUs 0-1 (core), 16 (atom); "
            "truvello-1: 0.50 CPU, waited 0.00 % of the window, 0 involuntary switches");
}

}  // namespace
}  // namespace truvello::cli
