#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace truvello::cli {

// The 1-, 5- and 15-minute load averages of /proc/loadavg.
struct LoadAverage {
  double one = 0.0;
  double five = 0.0;
  double fifteen = 0.0;
};

// A CPU bandwidth limit: at most quota_us of CPU time every period_us.
struct CpuQuota {
  std::optional<std::uint64_t> quota_us;  // absent: no limit
  std::uint64_t period_us = 100000;

  // How many CPUs' worth of time the limit allows; absent when unlimited.
  std::optional<double> cpus() const {
    if (!quota_us || period_us == 0) return std::nullopt;
    return static_cast<double>(*quota_us) / static_cast<double>(period_us);
  }
};

// CPUs' worth of time a process can get: the smallest of the online count,
// the affinity mask and the quota.
inline double usable_cpus(unsigned online_cpus, const std::optional<unsigned>& affinity_cpus,
                          const std::optional<CpuQuota>& quota) {
  double usable = static_cast<double>(online_cpus);
  if (affinity_cpus) usable = std::min(usable, static_cast<double>(*affinity_cpus));
  if (quota) {
    if (const auto cpus = quota->cpus()) usable = std::min(usable, *cpus);
  }
  return usable;
}

// What the command found out about the machine before running. The library
// itself looks at nothing but its configuration; these facts explain a score.
struct MachineContext {
  std::string cpu_model;                  // empty when unknown
  unsigned online_cpus = 0;               // what benchmark 2 starts workers for
  std::optional<unsigned> affinity_cpus;  // CPUs this process may be scheduled on
  std::optional<CpuQuota> cpu_quota;      // the tightest cgroup limit found
  std::string os_kernel;                  // the OS kernel, "Linux 6.1.0-18-amd64"
  std::vector<std::string> governors;     // distinct frequency governors, sorted
  bool hypervisor = false;
  std::optional<LoadAverage> load;  // read before the first run
  // Which machine this is, each empty when unknown or left out
  // (--anonymous): the host name, and a digest of the machine id that names
  // the machine without revealing the id (machine/machine_identity.h).
  std::string host_name;
  std::string machine_id;

  // CPUs' worth of time this process can actually get: the smallest of the
  // online count, the affinity mask and the quota.
  double usable_cpus() const { return truvello::cli::usable_cpus(online_cpus, affinity_cpus, cpu_quota); }
};

}  // namespace truvello::cli
