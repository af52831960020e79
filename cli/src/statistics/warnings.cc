#include "statistics/warnings.h"

#include <fmt/format.h>
#include <algorithm>
#include <array>
#include <cmath>

#include "machine/machine_text.h"
#include "statistics/rate_stats.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

constexpr std::array<std::string_view, 3> kMachineWideCodes = {"busy", "governor", "hypervisor"};

Warning warning(const char* code, std::string message) {
  return Warning{code, std::move(message), machine_wide_code(code)};
}

std::string cpu_count_text(double cpus) {
  return cpus == std::floor(cpus) ? fmt::format("{:.0f}", cpus) : fmt::format("{:.3g}", cpus);
}

std::string quoted_list(const std::vector<std::string>& names) {
  std::string out;
  for (const std::string& name : names) {
    if (!out.empty()) out += ", ";
    out += "\"" + name + "\"";
  }
  return out;
}

// The workers observed over a window long enough to judge, with the figure
// the rule looks at, where it crosses the limit.
struct Flagged {
  const WorkerObservation* worker;
  double figure;
};

template <typename Figure, typename Crosses>
std::vector<Flagged> flagged_workers(const std::optional<RunObservation>& observation, Figure figure, Crosses crosses) {
  std::vector<Flagged> out;
  if (!observation) return out;
  for (const WorkerObservation& w : observation->workers) {
    if (!(w.window_seconds >= kMinObservedWindow)) continue;
    if (const std::optional<double> value = figure(w); value && crosses(*value)) out.push_back({&w, *value});
  }
  return out;
}

// "truvello-0 (0.71), truvello-1 (0.80) and 2 more": a long list is cut
// short, the sentence must stay one.
template <typename Shown>
std::string flagged_list(const std::vector<Flagged>& flagged, Shown shown) {
  constexpr std::size_t kNamed = 4;
  const std::size_t named = flagged.size() > kNamed + 1 ? kNamed : flagged.size();
  std::string out;
  for (std::size_t i = 0; i < named; ++i) {
    if (i > 0) out += i + 1 == named && named == flagged.size() ? " and " : ", ";
    out += flagged[i].worker->name + " (" + shown(flagged[i].figure) + ")";
  }
  if (named < flagged.size()) out += " and " + std::to_string(flagged.size() - named) + " more";
  return out;
}

std::string share_text(double share) { return fmt::format("{:.2f}", share); }

}  // namespace

bool machine_wide_code(std::string_view code) {
  return std::find(kMachineWideCodes.begin(), kMachineWideCodes.end(), code) != kMachineWideCodes.end();
}

bool MachineWideWarnings::gather(const Warning& w) {
  if (!w.machine_wide) return false;
  const bool seen = std::any_of(list_.begin(), list_.end(), [&](const Warning& kept) { return kept.code == w.code; });
  if (!seen) list_.push_back(w);
  return true;
}

std::string limit_percent_text(double percent) { return fmt::format("{:g} %", percent); }

std::optional<Warning> drift_warning(std::span<const truvello_sample_record> samples) {
  const auto stats = rate_stats(samples);
  if (!stats || !stats->drift_percent) return std::nullopt;
  const double drift = *stats->drift_percent;
  if (!(std::fabs(drift) > kDriftLimitPercent)) return std::nullopt;
  if (drift < 0.0) {
    return warning("drift", "The rate fell by " + percent_text(-drift) +
                                " from the first to the last third of the window: the CPU "
                                "may be throttling or other work may have started.");
  }
  return warning("drift", "The rate rose by " + percent_text(drift) +
                              " from the first to the last third of the window: the machine "
                              "was still settling or other work let go of the CPU.");
}

std::optional<Warning> busy_machine_warning(const std::optional<LoadAverage>& load, unsigned online_cpus) {
  if (!load) return std::nullopt;
  const double limit = std::max(kBusyLoadFloor, kBusyLoadPerCpu * online_cpus);
  if (!(load->one >= limit)) return std::nullopt;
  return warning("busy", fmt::format("The 1-minute load average was {:.2f} before the run on {} online CPUs: other "
                                     "work was competing for them.",
                                     load->one, online_cpus));
}

std::optional<Warning> cpu_limit_warning(std::uint32_t workers, unsigned online_cpus,
                                         const std::optional<unsigned>& affinity_cpus,
                                         const std::optional<CpuQuota>& quota) {
  const double usable = usable_cpus(online_cpus, affinity_cpus, quota);
  if (!(usable < static_cast<double>(workers))) return std::nullopt;
  std::vector<std::string> causes;
  if (affinity_cpus && *affinity_cpus < online_cpus) {
    causes.push_back("an affinity mask of " + std::to_string(*affinity_cpus) + " CPUs");
  }
  if (const auto quota_cpus = quota ? quota->cpus() : std::nullopt;
      quota_cpus && *quota_cpus < static_cast<double>(online_cpus)) {
    causes.push_back("a cgroup quota (cpu.max " + std::to_string(*quota->quota_us) + " " +
                     std::to_string(quota->period_us) + ")");
  }
  std::string because;
  for (std::size_t i = 0; i < causes.size(); ++i) {
    because += (i == 0 ? "" : " and ") + causes[i];
  }
  return warning("cpu_limit",
                 "Only " + cpu_count_text(usable) + " of " + std::to_string(online_cpus) +
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
  return warning("governor", "The CPU frequency governor is " + quoted_list(others) +
                                 " rather than \"performance\", so the clock speed may "
                                 "change during the run.");
}

std::optional<Warning> throttle_warning(const std::optional<std::uint64_t>& before,
                                        const std::optional<std::uint64_t>& after) {
  if (!before || !after || *after <= *before) return std::nullopt;
  return warning("throttle", "The thermal throttle counters rose by " + grouped(*after - *before) +
                                 " during the run: the CPU slowed down to cool off.");
}

std::optional<Warning> hypervisor_warning(bool hypervisor) {
  if (!hypervisor) return std::nullopt;
  return warning("hypervisor",
                 "This machine runs under a hypervisor: other guests on the same host "
                 "can take CPU time and move the score.");
}

std::optional<Warning> short_window_warning(double measurement_seconds) {
  if (!(measurement_seconds < kMinComparableWindow)) return std::nullopt;
  return warning("short_window", "The measurement window was " + length_text(measurement_seconds) +
                                     ": a comparable score needs at least " + length_text(kMinComparableWindow) + ".");
}

std::optional<Warning> unstable_warning(const truvello_result_record& result) {
  if (result.unstable == 0) return std::nullopt;
  return warning("unstable", "The run is unstable: the per-second rate varied by " + percent_text(result.cv_percent) +
                                 " (coefficient of variation), more than the " +
                                 limit_percent_text(kUnstableCvPercent) + " a trustworthy score allows.");
}

std::optional<Warning> cpu_share_warning(const std::optional<RunObservation>& observation) {
  const auto flagged = flagged_workers(
      observation, [](const WorkerObservation& w) { return std::optional<double>(w.cpu_share()); },
      [](double share) { return share < kMinCpuShare; });
  if (flagged.empty()) return std::nullopt;
  if (flagged.size() == 1) {
    return warning("cpu_share", "Worker " + flagged[0].worker->name + " got " + share_text(flagged[0].figure) +
                                    " of a CPU during the measurement: other work took the rest.");
  }
  return warning("cpu_share", "Workers " + flagged_list(flagged, share_text) +
                                  " got less than a whole CPU during the measurement: other work took the rest.");
}

std::optional<Warning> cpu_wait_warning(const std::optional<RunObservation>& observation) {
  const auto flagged = flagged_workers(
      observation, [](const WorkerObservation& w) { return w.wait_share(); },
      [](double share) { return share > kCpuWaitLimitPercent / 100.0; });
  if (flagged.empty()) return std::nullopt;
  const auto shown = [](double share) { return percent_text(share * 100.0); };
  if (flagged.size() == 1) {
    return warning("cpu_wait", "Worker " + flagged[0].worker->name + " waited for a CPU " + shown(flagged[0].figure) +
                                   " of the measurement while ready to run: other work held its CPU.");
  }
  return warning("cpu_wait", "Workers " + flagged_list(flagged, shown) +
                                 " waited for a CPU during the measurement while ready to run: other work held "
                                 "their CPUs.");
}

std::string observation_text(const RunObservation& observation) {
  std::string out;
  for (const WorkerObservation& w : observation.workers) {
    if (!out.empty()) out += "; ";
    out += w.name + ": " + share_text(w.cpu_share()) + " CPU";
    if (const auto wait = w.wait_share()) out += ", waited " + percent_text(*wait * 100.0) + " of the window";
    if (w.involuntary_switches) out += ", " + grouped(*w.involuntary_switches) + " involuntary switches";
    if (w.cpus.empty()) continue;
    out += ", CPUs ";
    if (w.core_types.size() != w.cpus.size()) {
      out += cpu_list_text(w.cpus);
      continue;
    }
    // On a hybrid machine, the CPUs of each core type in turn:
    // "CPUs 0-1 (core), 16 (atom)".
    std::vector<std::string> types;
    for (const std::string& type : w.core_types) {
      if (std::find(types.begin(), types.end(), type) == types.end()) types.push_back(type);
    }
    for (std::size_t t = 0; t < types.size(); ++t) {
      std::vector<unsigned> of_type;
      for (std::size_t i = 0; i < w.cpus.size(); ++i) {
        if (w.core_types[i] == types[t]) of_type.push_back(w.cpus[i]);
      }
      out += (t > 0 ? ", " : "") + cpu_list_text(of_type) + " (" + types[t] + ")";
    }
  }
  return out;
}

std::string observation_aside(const RunOutcome& run) {
  if (!run.observation || run.observation->workers.empty()) return "";
  return " (" + observation_text(*run.observation) + ")";
}

std::vector<Warning> run_warnings(const RunOutcome& run, const MachineContext& machine) {
  std::vector<Warning> out;
  if (run.recorded_warnings) {
    for (const RecordedWarning& w : *run.recorded_warnings) {
      out.push_back(Warning{w.code, w.message, machine_wide_code(w.code)});
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
    add(cpu_share_warning(run.observation));
    add(cpu_wait_warning(run.observation));
  }
  add(busy_machine_warning(machine.load, machine.online_cpus));
  add(governor_warning(machine.governors));
  add(hypervisor_warning(machine.hypervisor));
  return out;
}

}  // namespace truvello::cli
