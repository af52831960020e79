#include "stats/warnings.h"

#include <cmath>
#include <cstdio>

#include "output/units.h"
#include "stats/rate_stats.h"

namespace truvello::cli {

namespace {

Warning run_warning(const char* code, std::string message) { return Warning{code, std::move(message), false}; }

Warning machine_warning(const char* code, std::string message) { return Warning{code, std::move(message), true}; }

std::string cpu_count_text(double cpus) {
  char buffer[32];
  if (cpus == std::floor(cpus)) {
    std::snprintf(buffer, sizeof buffer, "%.0f", cpus);
  } else {
    std::snprintf(buffer, sizeof buffer, "%.3g", cpus);
  }
  return buffer;
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ", ";
    out += "\"" + name + "\"";
  }
  return out;
}

}  // namespace

std::string limit_percent_text(double percent) {
  char text[32];
  std::snprintf(text, sizeof text, "%g %%", percent);
  return text;
}

std::optional<Warning> drift_warning(std::span<const truvello_sample_record> samples) {
  const auto stats = rate_stats(samples);
  if (!stats || !stats->drift_percent) return std::nullopt;
  const double drift = *stats->drift_percent;
  if (!(std::fabs(drift) > kDriftLimitPercent)) return std::nullopt;
  if (drift < 0.0) {
    return run_warning("drift", "The rate fell by " + percent_text(-drift) +
                                    " from the first to the last third of the window: the CPU "
                                    "may be throttling or other work may have started.");
  }
  return run_warning("drift", "The rate rose by " + percent_text(drift) +
                                  " from the first to the last third of the window: the machine "
                                  "was still settling or other work let go of the CPU.");
}

std::optional<Warning> busy_machine_warning(const std::optional<LoadAverage>& load, unsigned online_cpus) {
  if (!load) return std::nullopt;
  const double limit = std::max(kBusyLoadFloor, kBusyLoadPerCpu * online_cpus);
  if (!(load->one >= limit)) return std::nullopt;
  char figure[32];
  std::snprintf(figure, sizeof figure, "%.2f", load->one);
  return machine_warning("busy", std::string("The 1-minute load average was ") + figure + " before the run on " +
                                     std::to_string(online_cpus) + " online CPUs: other work was competing for them.");
}

std::optional<Warning> cpu_limit_warning(std::uint32_t workers, unsigned online_cpus,
                                         const std::optional<unsigned>& affinity_cpus,
                                         const std::optional<CpuQuota>& quota) {
  double usable = static_cast<double>(online_cpus);
  std::vector<std::string> causes;
  if (affinity_cpus && *affinity_cpus < online_cpus) {
    usable = *affinity_cpus;
    causes.push_back("an affinity mask of " + std::to_string(*affinity_cpus) + " CPUs");
  }
  const std::optional<double> quota_cpus = quota ? quota->cpus() : std::nullopt;
  if (quota_cpus && *quota_cpus < static_cast<double>(online_cpus)) {
    usable = std::min(usable, *quota_cpus);
    causes.push_back("a cgroup quota (cpu.max " + std::to_string(*quota->quota_us) + " " +
                     std::to_string(quota->period_us) + ")");
  }
  if (!(usable < static_cast<double>(workers))) return std::nullopt;
  std::string because;
  for (std::size_t i = 0; i < causes.size(); ++i) {
    because += (i == 0 ? "" : " and ") + causes[i];
  }
  return run_warning(
      "cpu_limit", "Only " + cpu_count_text(usable) + " of " + std::to_string(online_cpus) +
                       " online CPUs are usable by this process, because of " + because + ", yet the run started " +
                       std::to_string(workers) +
                       (workers == 1 ? " worker: it could not run all the time" : " workers: they had to take turns") +
                       ", so the score understates the machine.");
}

std::optional<Warning> governor_warning(const std::vector<std::string>& governors) {
  std::vector<std::string> others;
  for (const std::string& name : governors) {
    if (name != "performance") others.push_back(name);
  }
  if (others.empty()) return std::nullopt;
  return machine_warning("governor", "The CPU frequency governor is " + quoted_list(others) +
                                         " rather than \"performance\", so the clock speed may "
                                         "change during the run.");
}

std::optional<Warning> throttle_warning(const std::optional<std::uint64_t>& before,
                                        const std::optional<std::uint64_t>& after) {
  if (!before || !after || *after <= *before) return std::nullopt;
  return run_warning("throttle", "The thermal throttle counters rose by " + grouped(*after - *before) +
                                     " during the run: the CPU slowed down to cool off.");
}

std::optional<Warning> hypervisor_warning(bool hypervisor) {
  if (!hypervisor) return std::nullopt;
  return machine_warning("hypervisor",
                         "This machine runs under a hypervisor: other guests on the same host "
                         "can take CPU time and move the score.");
}

std::optional<Warning> short_window_warning(double measurement_seconds) {
  if (!(measurement_seconds < kMinComparableWindow)) return std::nullopt;
  return run_warning("short_window", "The measurement window was " + length_text(measurement_seconds) +
                                         ": a comparable score needs at least " + length_text(kMinComparableWindow) +
                                         ".");
}

std::optional<Warning> unstable_warning(const truvello_result_record& result) {
  if (result.unstable == 0) return std::nullopt;
  return run_warning("unstable", "The run is unstable: the per-second rate varied by " +
                                     percent_text(result.cv_percent) + " (coefficient of variation), more than the " +
                                     limit_percent_text(kUnstableCvPercent) + " a trustworthy score allows.");
}

std::vector<Warning> run_warnings(const RunOutcome& run, const MachineContext& machine) {
  std::vector<Warning> out;
  if (run.recorded_warnings) {
    for (const RecordedWarning& w : *run.recorded_warnings) {
      const bool machine_wide = w.code == "busy" || w.code == "governor" || w.code == "hypervisor";
      out.push_back(Warning{w.code, w.message, machine_wide});
    }
    return out;
  }
  const auto add = [&out](std::optional<Warning> w) {
    if (w) out.push_back(std::move(*w));
  };
  const bool ran = run.result && run.result->workers > 0;
  if (ran) {
    add(unstable_warning(*run.result));
    add(drift_warning(run.samples));
    add(short_window_warning(run.config.measurement_seconds));
    add(cpu_limit_warning(run.result->workers, machine.online_cpus, machine.affinity_cpus, machine.cpu_quota));
    add(throttle_warning(run.throttle_before, run.throttle_after));
  }
  add(busy_machine_warning(machine.load, machine.online_cpus));
  add(governor_warning(machine.governors));
  add(hypervisor_warning(machine.hypervisor));
  return out;
}

}  // namespace truvello::cli
