#pragma once

// Parsers for the text the OS kernel publishes about the machine (/proc, /sys).
// They take the text, not the file, so every rule that depends on them can be
// tried on made-up inputs.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/machine_context.h"

namespace truvello::cli {

std::string_view trim(std::string_view text);

// /proc/loadavg: "0.35 0.13 0.04 1/117 4315".
std::optional<LoadAverage> parse_loadavg(std::string_view text);

// cgroup v2 cpu.max: "max 100000" or "50000 100000" (the period may be
// missing, meaning 100000). Absent when the text is malformed.
std::optional<CpuQuota> parse_cpu_max(std::string_view text);

// cgroup v1 cpu.cfs_quota_us ("-1" for no limit) and cpu.cfs_period_us.
std::optional<CpuQuota> parse_cfs_quota(std::string_view quota_text, std::string_view period_text);

// The tighter of two limits; an unlimited one never wins.
CpuQuota tighter(const CpuQuota& a, const CpuQuota& b);

// /proc/self/cgroup: the path of this process in the unified (v2) hierarchy,
// the "0::" line; and in the v1 hierarchy that has the "cpu" controller.
std::optional<std::string> cgroup2_path(std::string_view proc_self_cgroup);
std::optional<std::string> cgroup1_cpu_path(std::string_view proc_self_cgroup);

// A cgroup hierarchy as mounted: `root` is the hierarchy's directory the
// mount shows (not "/" inside many containers), `point` where it is
// mounted; both with mountinfo's octal escapes ("\040" for a space) undone.
struct CgroupMount {
  std::string root;
  std::string point;
};

// /proc/self/mountinfo: where the v2 hierarchy is mounted, and where the v1
// hierarchy with the "cpu" controller is.
std::optional<CgroupMount> cgroup2_mount(std::string_view mountinfo);
std::optional<CgroupMount> cgroup1_cpu_mount(std::string_view mountinfo);

// The directories from a cgroup up to its hierarchy's root, innermost first:
// a limit set on any ancestor applies as well. "/a/b" gives "/a/b", "/a", "/".
std::vector<std::string> cgroup_ancestry(std::string_view path);

// The directories to read for a cgroup path of /proc/self/cgroup and its
// ancestors through a mount, innermost first: those at or below the mount's
// root, under its mount point. Empty when the cgroup lies outside the mount.
std::vector<std::string> cgroup_dirs(const CgroupMount& mount, std::string_view cgroup_path);

// CPU numbers from here up are refused: the OS kernel supports fewer, and a
// bound keeps a hostile list ("0-4294967295") from being expanded.
inline constexpr unsigned kCpuNumberLimit = 1u << 16;

// A CPU list such as /sys/devices/system/cpu/online: "0-3,8,10-11" gives
// 0, 1, 2, 3, 8, 10, 11, ascending, each CPU once. An empty list (a blank
// line, as the OS kernel writes for "none") gives no CPUs; malformed text or
// a CPU number of kCpuNumberLimit or more gives absent.
std::optional<std::vector<unsigned>> parse_cpu_list(std::string_view text);

// The same list written back in the OS kernel's form: 0, 1, 2, 3, 8 gives
// "0-3,8". The CPUs must be ascending.
std::string cpu_list_text(const std::vector<unsigned>& cpus);

// /proc/cpuinfo: the first "model name", and whether the "flags" line says
// the OS kernel runs under a hypervisor.
std::optional<std::string> cpu_model(std::string_view cpuinfo);
bool has_hypervisor_flag(std::string_view cpuinfo);

// The thermal throttle counters read under one CPU's
// /sys/devices/system/cpu/cpuN: the core counter is shared by the core's
// hardware threads, the package counter by every CPU of the package.
struct ThrottleReading {
  std::int64_t package_id = 0;  // topology/physical_package_id
  std::int64_t core_id = 0;     // topology/core_id
  std::optional<std::uint64_t> core_count;
  std::optional<std::uint64_t> package_count;
};

// Every core's and every package's events, each counted once; absent when
// no counter was read.
std::optional<std::uint64_t> throttle_total(std::span<const ThrottleReading> readings);

// An unsigned decimal counter file (thermal throttle counts), surrounding
// white space allowed.
std::optional<std::uint64_t> parse_counter(std::string_view text);

}  // namespace truvello::cli
