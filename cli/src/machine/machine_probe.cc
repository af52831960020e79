#include "machine/machine_probe.h"

#include <sched.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace truvello::cli {

namespace {

namespace fs = std::filesystem;

constexpr const char* kCpuDir = "/sys/devices/system/cpu";

std::optional<std::string> read_text(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return text.str();
}

// The per-CPU directories cpu0, cpu1, ... (not cpufreq, cpuidle and such).
std::vector<fs::path> cpu_dirs() {
  std::vector<fs::path> dirs;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(kCpuDir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > 3 && name.compare(0, 3, "cpu") == 0 &&
        name.find_first_not_of("0123456789", 3) == std::string::npos) {
      dirs.push_back(entry.path());
    }
  }
  return dirs;
}

std::optional<unsigned> affinity_count() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) != 0) return std::nullopt;
  return static_cast<unsigned>(CPU_COUNT(&set));
}

// The tightest CPU limit on this process's cgroup and its ancestors, in the
// unified hierarchy and, on older systems, in the v1 "cpu" hierarchy.
std::optional<CpuQuota> cgroup_quota() {
  const auto self = read_text("/proc/self/cgroup");
  const auto mounts = read_text("/proc/self/mountinfo");
  if (!self || !mounts) return std::nullopt;
  std::optional<CpuQuota> found;
  const auto consider = [&found](const CpuQuota& quota) { found = found ? tighter(*found, quota) : quota; };
  if (const auto path = cgroup2_path(*self), root = cgroup2_mount(*mounts); path && root) {
    for (const std::string& dir : cgroup_ancestry(*path)) {
      if (const auto text = read_text(fs::path(*root + dir) / "cpu.max")) {
        if (const auto quota = parse_cpu_max(*text)) consider(*quota);
      }
    }
  }
  if (const auto path = cgroup1_cpu_path(*self), root = cgroup1_cpu_mount(*mounts); path && root) {
    for (const std::string& dir : cgroup_ancestry(*path)) {
      const fs::path base = fs::path(*root + dir);
      const auto quota_text = read_text(base / "cpu.cfs_quota_us");
      const auto period_text = read_text(base / "cpu.cfs_period_us");
      if (quota_text && period_text) {
        if (const auto quota = parse_cfs_quota(*quota_text, *period_text)) consider(*quota);
      }
    }
  }
  return found;
}

std::vector<std::string> governors() {
  std::set<std::string> names;
  for (const fs::path& dir : cpu_dirs()) {
    if (const auto text = read_text(dir / "cpufreq" / "scaling_governor")) {
      const std::string_view name = trim(*text);
      if (!name.empty()) names.emplace(name);
    }
  }
  return {names.begin(), names.end()};
}

std::string os_kernel_text() {
  utsname info{};
  if (uname(&info) != 0) return {};
  return std::string(info.sysname) + " " + info.release;
}

}  // namespace

MachineContext probe_machine() {
  MachineContext machine;
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  machine.online_cpus = online > 0 ? static_cast<unsigned>(online) : 0;
  machine.affinity_cpus = affinity_count();
  machine.cpu_quota = cgroup_quota();
  machine.os_kernel = os_kernel_text();
  machine.governors = governors();
  if (const auto cpuinfo = read_text("/proc/cpuinfo")) {
    machine.cpu_model = cpu_model(*cpuinfo).value_or("");
    machine.hypervisor = has_hypervisor_flag(*cpuinfo);
  }
  if (const auto text = read_text("/proc/loadavg")) machine.load = parse_loadavg(*text);
  return machine;
}

std::optional<std::uint64_t> read_throttle_total() {
  std::optional<std::uint64_t> total;
  for (const fs::path& dir : cpu_dirs()) {
    for (const char* name : {"core_throttle_count", "package_throttle_count"}) {
      if (const auto text = read_text(dir / "thermal_throttle" / name)) {
        if (const auto count = parse_counter(*text)) total = total.value_or(0) + *count;
      }
    }
  }
  return total;
}

}  // namespace truvello::cli
