#include "machine/machine_probe.h"

#include "machine/machine_identity.h"
#include "machine/machine_text.h"

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
  const auto path2 = cgroup2_path(*self);
  if (const auto mount = cgroup2_mount(*mounts); path2 && mount) {
    for (const std::string& dir : cgroup_dirs(*mount, *path2)) {
      if (const auto text = read_text(fs::path(dir) / "cpu.max")) {
        if (const auto quota = parse_cpu_max(*text)) consider(*quota);
      }
    }
  }
  const auto path1 = cgroup1_cpu_path(*self);
  if (const auto mount = cgroup1_cpu_mount(*mounts); path1 && mount) {
    for (const std::string& dir : cgroup_dirs(*mount, *path1)) {
      const fs::path base(dir);
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
  machine.host_name = read_host_name().value_or("");
  machine.machine_id = read_machine_identity().value_or("");
  return machine;
}

std::optional<std::uint64_t> read_throttle_total() {
  std::vector<ThrottleReading> readings;
  for (const fs::path& dir : cpu_dirs()) {
    ThrottleReading r;
    const auto id = [&dir](const char* name) -> std::int64_t {
      const auto text = read_text(dir / "topology" / name);
      const auto value = text ? parse_counter(*text) : std::nullopt;
      // Unknown topology: one core and one package per CPU, so nothing is
      // merged that may differ.
      return value ? static_cast<std::int64_t>(*value) : -1;
    };
    r.package_id = id("physical_package_id");
    r.core_id = id("core_id");
    if (r.package_id < 0 || r.core_id < 0) r.package_id = r.core_id = -1 - static_cast<std::int64_t>(readings.size());
    if (const auto text = read_text(dir / "thermal_throttle" / "core_throttle_count"))
      r.core_count = parse_counter(*text);
    if (const auto text = read_text(dir / "thermal_throttle" / "package_throttle_count")) {
      r.package_count = parse_counter(*text);
    }
    readings.push_back(r);
  }
  return throttle_total(readings);
}

}  // namespace truvello::cli
