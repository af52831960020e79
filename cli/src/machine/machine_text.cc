#include "machine/machine_text.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace truvello::cli {

namespace {

constexpr std::string_view kSpace = " \t\r\n";

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t begin = 0;
  while (begin <= text.size()) {
    const std::size_t end = std::min(text.find(separator, begin), text.size());
    parts.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return parts;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t pos = 0;
  while (true) {
    const std::size_t begin = text.find_first_not_of(kSpace, pos);
    if (begin == std::string_view::npos) break;
    const std::size_t end = std::min(text.find_first_of(kSpace, begin), text.size());
    out.push_back(text.substr(begin, end - begin));
    pos = end;
  }
  return out;
}

template <typename T>
std::optional<T> whole_number(std::string_view text) {
  text = trim(text);
  T value{};
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> decimal(std::string_view text) {
  double value = 0.0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc{} || ptr != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

// The value of a "key<tabs>: value" line of /proc/cpuinfo, if the line has
// that key.
std::optional<std::string_view> cpuinfo_value(std::string_view line, std::string_view key) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || trim(line.substr(0, colon)) != key) return std::nullopt;
  return trim(line.substr(colon + 1));
}

// A mountinfo field with the OS kernel's octal escapes undone: a space in a
// path is written "\\040", a tab "\\011", a newline "\\012", a backslash
// "\\134". Anything else is kept as it stands.
std::string unescape_mount_field(std::string_view field) {
  const auto octal = [](char c) { return c >= '0' && c <= '7'; };
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) && octal(field[i + 2]) && octal(field[i + 3])) {
      const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
      if (value < 256) {
        out += static_cast<char>(value);
        i += 3;
        continue;
      }
    }
    out += field[i];
  }
  return out;
}

// mountinfo: "36 35 0:31 / /sys/fs/cgroup rw,nosuid shared:9 - cgroup2 cgroup2 rw".
// Returns the first mount whose file system type and super options satisfy
// the predicate, with its root (the directory of the hierarchy it shows)
// and its mount point.
template <typename Match>
std::optional<CgroupMount> find_mount(std::string_view mountinfo, Match match) {
  for (std::string_view line : split(mountinfo, '\n')) {
    const std::size_t dash = line.find(" - ");
    if (dash == std::string_view::npos) continue;
    const std::vector<std::string_view> head = words(line.substr(0, dash));
    const std::vector<std::string_view> tail = words(line.substr(dash + 3));
    if (head.size() < 5 || tail.size() < 3) continue;
    if (match(tail[0], tail[2])) return CgroupMount{unescape_mount_field(head[3]), unescape_mount_field(head[4])};
  }
  return std::nullopt;
}

bool has_option(std::string_view options, std::string_view wanted) {
  const std::vector<std::string_view> parts = split(options, ',');
  return std::find(parts.begin(), parts.end(), wanted) != parts.end();
}

}  // namespace

std::string_view trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(kSpace);
  if (begin == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(kSpace);
  return text.substr(begin, end - begin + 1);
}

std::optional<LoadAverage> parse_loadavg(std::string_view text) {
  const std::vector<std::string_view> fields = words(text);
  if (fields.size() < 3) return std::nullopt;
  const auto one = decimal(fields[0]);
  const auto five = decimal(fields[1]);
  const auto fifteen = decimal(fields[2]);
  if (!one || !five || !fifteen) return std::nullopt;
  return LoadAverage{*one, *five, *fifteen};
}

std::optional<CpuQuota> parse_cpu_max(std::string_view text) {
  const std::vector<std::string_view> fields = words(text);
  if (fields.empty() || fields.size() > 2) return std::nullopt;
  CpuQuota quota;
  if (fields.size() == 2) {
    const auto period = whole_number<std::uint64_t>(fields[1]);
    if (!period || *period == 0) return std::nullopt;
    quota.period_us = *period;
  }
  if (fields[0] != "max") {
    quota.quota_us = whole_number<std::uint64_t>(fields[0]);
    if (!quota.quota_us) return std::nullopt;
  }
  return quota;
}

std::optional<CpuQuota> parse_cfs_quota(std::string_view quota_text, std::string_view period_text) {
  const auto quota = whole_number<std::int64_t>(quota_text);
  const auto period = whole_number<std::uint64_t>(period_text);
  if (!quota || !period || *period == 0) return std::nullopt;
  CpuQuota out;
  out.period_us = *period;
  if (*quota >= 0) out.quota_us = static_cast<std::uint64_t>(*quota);
  return out;
}

CpuQuota tighter(const CpuQuota& a, const CpuQuota& b) {
  const auto ca = a.cpus();
  const auto cb = b.cpus();
  if (!ca) return b;
  if (!cb) return a;
  return *cb < *ca ? b : a;
}

std::optional<std::string> cgroup2_path(std::string_view proc_self_cgroup) {
  for (std::string_view line : split(proc_self_cgroup, '\n')) {
    if (line.substr(0, 3) == "0::") return std::string(trim(line.substr(3)));
  }
  return std::nullopt;
}

std::optional<std::string> cgroup1_cpu_path(std::string_view proc_self_cgroup) {
  for (std::string_view line : split(proc_self_cgroup, '\n')) {
    const std::size_t first = line.find(':');
    if (first == std::string_view::npos) continue;
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    if (has_option(line.substr(first + 1, second - first - 1), "cpu")) {
      return std::string(trim(line.substr(second + 1)));
    }
  }
  return std::nullopt;
}

std::optional<CgroupMount> cgroup2_mount(std::string_view mountinfo) {
  return find_mount(mountinfo, [](std::string_view type, std::string_view) { return type == "cgroup2"; });
}

std::optional<CgroupMount> cgroup1_cpu_mount(std::string_view mountinfo) {
  return find_mount(mountinfo, [](std::string_view type, std::string_view options) {
    return type == "cgroup" && has_option(options, "cpu");
  });
}

std::vector<std::string> cgroup_ancestry(std::string_view path) {
  std::string current(trim(path));
  if (current.empty() || current.front() != '/') return {"/"};
  while (current.size() > 1 && current.back() == '/') current.pop_back();
  std::vector<std::string> out;
  while (true) {
    out.push_back(current);
    if (current == "/") break;
    const std::size_t slash = current.rfind('/');
    current = slash == 0 ? std::string("/") : current.substr(0, slash);
  }
  return out;
}

std::vector<std::string> cgroup_dirs(const CgroupMount& mount, std::string_view cgroup_path) {
  std::string root = mount.root;
  while (root.size() > 1 && root.back() == '/') root.pop_back();
  std::vector<std::string> dirs;
  for (const std::string& path : cgroup_ancestry(cgroup_path)) {
    // Only the part of the hierarchy at or below the mount's root is
    // visible through it; the cgroups above it are someone else's.
    std::string below;
    if (root == "/") {
      below = path == "/" ? "" : path;
    } else if (path == root) {
      below = "";
    } else if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/') {
      below = path.substr(root.size());
    } else {
      continue;
    }
    dirs.push_back(mount.point + below);
  }
  return dirs;
}

std::optional<std::uint64_t> throttle_total(std::span<const ThrottleReading> readings) {
  // A core's counter shows under each of its hardware threads, a package's
  // under each of its CPUs: each is counted once.
  std::set<std::pair<std::int64_t, std::int64_t>> cores;
  std::set<std::int64_t> packages;
  std::optional<std::uint64_t> total;
  const auto add = [&total](std::uint64_t count) { total = total.value_or(0) + count; };
  for (const ThrottleReading& r : readings) {
    if (r.core_count && cores.emplace(r.package_id, r.core_id).second) add(*r.core_count);
    if (r.package_count && packages.insert(r.package_id).second) add(*r.package_count);
  }
  return total;
}

std::optional<std::vector<unsigned>> parse_cpu_list(std::string_view text) {
  text = trim(text);
  std::vector<unsigned> cpus;
  if (text.empty()) return cpus;
  // Ranges first, merged, then expanded: overlapping or repeated parts cost
  // no more than the CPUs they name, whatever the text.
  std::vector<std::pair<unsigned, unsigned>> ranges;
  for (std::string_view part : split(text, ',')) {
    const std::size_t dash = part.find('-');
    const auto first = whole_number<unsigned>(part.substr(0, dash));
    const auto last = dash == std::string_view::npos ? first : whole_number<unsigned>(part.substr(dash + 1));
    if (!first || !last || *last < *first || *last >= kCpuNumberLimit) return std::nullopt;
    ranges.emplace_back(*first, *last);
  }
  std::sort(ranges.begin(), ranges.end());
  unsigned next = 0;  // the lowest CPU not yet listed
  for (const auto& [first, last] : ranges) {
    for (unsigned cpu = std::max(first, next); cpu <= last; ++cpu) cpus.push_back(cpu);
    next = std::max(next, last + 1);
  }
  return cpus;
}

std::string cpu_list_text(const std::vector<unsigned>& cpus) {
  std::string out;
  for (std::size_t i = 0; i < cpus.size();) {
    std::size_t j = i;
    while (j + 1 < cpus.size() && cpus[j + 1] == cpus[j] + 1) ++j;
    if (!out.empty()) out += ',';
    out += std::to_string(cpus[i]);
    if (j > i) out += '-' + std::to_string(cpus[j]);
    i = j + 1;
  }
  return out;
}

std::optional<std::string> cpu_model(std::string_view cpuinfo) {
  for (std::string_view line : split(cpuinfo, '\n')) {
    if (const auto value = cpuinfo_value(line, "model name"); value && !value->empty()) {
      return std::string(*value);
    }
  }
  return std::nullopt;
}

bool has_hypervisor_flag(std::string_view cpuinfo) {
  for (std::string_view line : split(cpuinfo, '\n')) {
    if (const auto value = cpuinfo_value(line, "flags")) {
      const std::vector<std::string_view> flags = words(*value);
      return std::find(flags.begin(), flags.end(), "hypervisor") != flags.end();
    }
  }
  return false;
}

std::optional<std::uint64_t> parse_counter(std::string_view text) { return whole_number<std::uint64_t>(text); }

}  // namespace truvello::cli
