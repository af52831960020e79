#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "machine/machine_text.h"

namespace truvello::cli {

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

  // CPUs' worth of time this process can actually get: the smallest of the
  // online count, the affinity mask and the quota.
  double usable_cpus() const {
    double usable = static_cast<double>(online_cpus);
    if (affinity_cpus) usable = std::min(usable, static_cast<double>(*affinity_cpus));
    if (cpu_quota) {
      if (const auto cpus = cpu_quota->cpus()) usable = std::min(usable, *cpus);
    }
    return usable;
  }
};

}  // namespace truvello::cli
