#pragma once

// The rules behind the command's warnings. Each is a pure function of the
// samples, the result record or text already parsed from the machine, and
// each yields at most one plain sentence.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/machine_context.h"
#include "model/run_outcome.h"
#include "score_rules.h"
#include "truvello.h"

namespace truvello::cli {

struct Warning {
  std::string code;           // stable key for exports: "drift", "busy", ...
  std::string message;        // one sentence for people
  bool machine_wide = false;  // the same for every run of this invocation
};

// Whether warnings of this code are about the machine rather than a run
// ("busy", "governor", "hypervisor"): the same for every run of an
// invocation, whether a rule found them or a saved file recorded them.
bool machine_wide_code(std::string_view code);

// Machine-wide warnings come with every run of an invocation but are shown
// once, apart from the runs' own: the first of each code is kept, in order.
class MachineWideWarnings {
 public:
  // True when `w` is machine-wide, and so belongs here rather than with its
  // run.
  bool gather(const Warning& w);
  const std::vector<Warning>& list() const { return list_; }

 private:
  std::vector<Warning> list_;
};

// Thresholds, named here so the README and the rules cannot disagree.
inline constexpr double kDriftLimitPercent = 5.0;
inline constexpr double kBusyLoadFloor = 1.0;         // one CPU's worth of other work ...
inline constexpr double kBusyLoadPerCpu = 0.1;        // ... or a tenth of the CPUs, if more
inline constexpr double kMinComparableWindow = 10.0;  // seconds
// A worker is judged by what the OS kernel saw of it over at least this
// much of the measurement ...
inline constexpr double kMinObservedWindow = 1.0;  // seconds
// ... and was disturbed if it got less of a CPU than this ...
inline constexpr double kMinCpuShare = 0.90;
// ... or waited for one longer than this share of the window.
inline constexpr double kCpuWaitLimitPercent = 2.0;
// The library's unstable flag (kUnstableCvPercent, score_rules.h) is only
// worded here; the command never judges the figure itself.

// A limit in percent as the messages state it: 10 gives "10 %".
std::string limit_percent_text(double percent);

// The rate changed by more than kDriftLimitPercent between the first and the
// last third of the measurement window.
std::optional<Warning> drift_warning(std::span<const truvello_sample_record> samples);

// The 1-minute load average, read before the first run, shows other work.
std::optional<Warning> busy_machine_warning(const std::optional<LoadAverage>& load, unsigned online_cpus);

// The process can use fewer CPUs than the run had workers: an affinity mask
// or a cgroup quota (cpu.max) below the online count.
std::optional<Warning> cpu_limit_warning(std::uint32_t workers, unsigned online_cpus,
                                         const std::optional<unsigned>& affinity_cpus,
                                         const std::optional<CpuQuota>& quota);

// A frequency governor other than "performance" on any CPU.
std::optional<Warning> governor_warning(const std::vector<std::string>& governors);

// Thermal throttle counters rose between the readings around a run.
std::optional<Warning> throttle_warning(const std::optional<std::uint64_t>& before,
                                        const std::optional<std::uint64_t>& after);

std::optional<Warning> hypervisor_warning(bool hypervisor);

// A measurement window too short for a comparable score.
std::optional<Warning> short_window_warning(double measurement_seconds);

// The library flagged the run unstable (coefficient of variation above
// kUnstableCvPercent).
std::optional<Warning> unstable_warning(const truvello_result_record& result);

// A worker got clearly less than a whole CPU during the measurement.
std::optional<Warning> cpu_share_warning(const std::optional<RunObservation>& observation);

// A worker was ready to run but waited measurably for a CPU.
std::optional<Warning> cpu_wait_warning(const std::optional<RunObservation>& observation);

// The workers as the OS kernel saw them, in a phrase to show next to a run:
// "truvello-0: 0.71 CPU, waited 8.10 % of the window, 412 involuntary
// switches, CPUs 0-1"; workers separated by "; ".
std::string observation_text(const RunObservation& observation);

// That phrase in parentheses after a leading space, to follow what is said
// of a run; empty when the run has no workers observed.
std::string observation_aside(const RunOutcome& run);

// Every warning that applies to one run, run-specific ones first; for a run
// read back from a document, the warnings it recorded.
std::vector<Warning> run_warnings(const RunOutcome& run, const MachineContext& machine);

}  // namespace truvello::cli
