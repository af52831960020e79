#include "machine/machine_text.h"

#include <gtest/gtest.h>

namespace truvello::cli {
namespace {

TEST(MachineText, LoadAverage) {
  const auto load = parse_loadavg("2.35 1.13 0.04 3/117 4315\n");
  ASSERT_TRUE(load.has_value());
  EXPECT_DOUBLE_EQ(load->one, 2.35);
  EXPECT_DOUBLE_EQ(load->five, 1.13);
  EXPECT_DOUBLE_EQ(load->fifteen, 0.04);
  EXPECT_FALSE(parse_loadavg("").has_value());
  EXPECT_FALSE(parse_loadavg("0.35 busy 0.04").has_value());
}

TEST(MachineText, CpuMaxUnlimitedAndQuota) {
  const auto unlimited = parse_cpu_max("max 100000\n");
  ASSERT_TRUE(unlimited.has_value());
  EXPECT_FALSE(unlimited->cpus().has_value());

  const auto half = parse_cpu_max("50000 100000\n");
  ASSERT_TRUE(half.has_value());
  ASSERT_TRUE(half->cpus().has_value());
  EXPECT_DOUBLE_EQ(*half->cpus(), 0.5);

  const auto no_period = parse_cpu_max("250000");
  ASSERT_TRUE(no_period && no_period->cpus());
  EXPECT_DOUBLE_EQ(*no_period->cpus(), 2.5);
}

TEST(MachineText, CpuMaxRejectsMalformedText) {
  EXPECT_FALSE(parse_cpu_max("").has_value());
  EXPECT_FALSE(parse_cpu_max("50000 0").has_value());
  EXPECT_FALSE(parse_cpu_max("-1 100000").has_value());
  EXPECT_FALSE(parse_cpu_max("half 100000").has_value());
  EXPECT_FALSE(parse_cpu_max("1 2 3").has_value());
}

TEST(MachineText, CfsQuotaOfTheOlderHierarchy) {
  const auto none = parse_cfs_quota("-1\n", "100000\n");
  ASSERT_TRUE(none.has_value());
  EXPECT_FALSE(none->cpus().has_value());
  const auto one_and_half = parse_cfs_quota("150000", "100000");
  ASSERT_TRUE(one_and_half && one_and_half->cpus());
  EXPECT_DOUBLE_EQ(*one_and_half->cpus(), 1.5);
  EXPECT_FALSE(parse_cfs_quota("x", "100000").has_value());
}

TEST(MachineText, TighterLimitWinsAndUnlimitedNeverDoes) {
  const CpuQuota unlimited{};
  const CpuQuota two{200000, 100000};
  const CpuQuota half{50000, 100000};
  EXPECT_DOUBLE_EQ(*tighter(unlimited, two).cpus(), 2.0);
  EXPECT_DOUBLE_EQ(*tighter(two, unlimited).cpus(), 2.0);
  EXPECT_DOUBLE_EQ(*tighter(two, half).cpus(), 0.5);
  EXPECT_DOUBLE_EQ(*tighter(half, two).cpus(), 0.5);
}

TEST(MachineText, CgroupPathsFromProcSelfCgroup) {
  const char* hybrid =
      "12:cpu,cpuacct:/docker/abc\n"
      "4:memory:/docker/abc\n"
      "0::/system.slice/app.service\n";
  EXPECT_EQ(cgroup2_path(hybrid), "/system.slice/app.service");
  EXPECT_EQ(cgroup1_cpu_path(hybrid), "/docker/abc");
  // "cpuacct" or "cpuset" alone is not the cpu controller.
  EXPECT_FALSE(cgroup1_cpu_path("3:cpuset:/\n2:cpuacct:/\n").has_value());
  EXPECT_FALSE(cgroup2_path("1:cpu:/\n").has_value());
}

TEST(MachineText, CgroupMountsFromMountinfo) {
  const char* mountinfo =
      "22 1 0:21 / /proc rw,nosuid - proc proc rw\n"
      "30 25 0:26 / /sys/fs/cgroup/cpu,cpuacct rw,nosuid shared:11 - cgroup cgroup rw,cpu,cpuacct\n"
      "31 25 0:27 / /sys/fs/cgroup/cpuset rw - cgroup cgroup rw,cpuset\n"
      "36 25 0:31 / /sys/fs/cgroup/unified rw,nosuid shared:9 - cgroup2 cgroup2 rw,nsdelegate\n";
  EXPECT_EQ(cgroup2_mount(mountinfo)->point, "/sys/fs/cgroup/unified");
  EXPECT_EQ(cgroup1_cpu_mount(mountinfo)->point, "/sys/fs/cgroup/cpu,cpuacct");
  EXPECT_FALSE(cgroup2_mount("22 1 0:21 / /proc rw - proc proc rw\n").has_value());
  // A container's view: the mount shows the hierarchy from the container's
  // own cgroup down, at a path with an escaped space.
  const auto inside = cgroup2_mount("40 30 0:31 /docker/ab\\040c /sys/fs/my\\040cgroup ro - cgroup2 cgroup2 rw\n");
  ASSERT_TRUE(inside.has_value());
  EXPECT_EQ(inside->root, "/docker/ab c");
  EXPECT_EQ(inside->point, "/sys/fs/my cgroup");
}

TEST(MachineText, CgroupDirectoriesThroughTheMountsRoot) {
  EXPECT_EQ(cgroup_ancestry("/a/b/\n"), (std::vector<std::string>{"/a/b", "/a", "/"}));
  struct Case {
    CgroupMount mount;
    const char* path;
    std::vector<std::string> dirs;
  } cases[] = {
      {{"/", "/sys/fs/cgroup"}, "/a/b", {"/sys/fs/cgroup/a/b", "/sys/fs/cgroup/a", "/sys/fs/cgroup"}},
      {{"/", "/sys/fs/cgroup"}, "/", {"/sys/fs/cgroup"}},
      // The mount's root is the container's cgroup: its ancestors are out of sight.
      {{"/docker/c1", "/sys/fs/cgroup"}, "/docker/c1/job", {"/sys/fs/cgroup/job", "/sys/fs/cgroup"}},
      {{"/docker/c1/", "/sys/fs/cgroup"}, "/docker/c1", {"/sys/fs/cgroup"}},
      {{"/docker/c1", "/sys/fs/cgroup"}, "/docker/c10", {}},
      {{"/docker/c1", "/sys/fs/cgroup"}, "/other", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(cgroup_dirs(c.mount, c.path), c.dirs) << c.mount.root << " " << c.path;
}

TEST(MachineText, ThrottleCountersCountEachCoreAndPackageOnce) {
  // Two packages; package 0 has one core with two hardware threads.
  const ThrottleReading readings[] = {
      {0, 0, 5, 100},
      {0, 0, 5, 100},
      {0, 1, 2, 100},
      {1, 0, 1, 7},
  };
  EXPECT_EQ(throttle_total(readings), 5u + 2u + 1u + 100u + 7u);
  EXPECT_EQ(throttle_total(std::span<const ThrottleReading>{}), std::nullopt);
  const ThrottleReading no_counters[] = {{0, 0, std::nullopt, std::nullopt}};
  EXPECT_EQ(throttle_total(no_counters), std::nullopt);
}

TEST(MachineText, CpuLists) {
  struct Case {
    const char* text;
    std::optional<const char*> written;  // the list written back; absent: refused
    std::size_t count = 0;
  };
  const Case table[] = {
      {"0-3,8,10-11\n", "0-3,8,10-11", 7},
      {"0", "0", 1},
      {"", "", 0},
      {"\n", "", 0},  // the OS kernel's "none"
      {"2-3,0-3,3", "0-3", 4},
      {"65535", "65535", 1},
      {"3-1", std::nullopt},
      {"0-x", std::nullopt},
      {"0,,1", std::nullopt},
      {"1-", std::nullopt},
      {"-1", std::nullopt},
      {"1-2-3", std::nullopt},
      {"65536", std::nullopt},
      {"0-4294967295", std::nullopt},
      {"99999999999999999999", std::nullopt},
      {"zero", std::nullopt},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.text);
    const auto cpus = parse_cpu_list(c.text);
    ASSERT_EQ(cpus.has_value(), c.written.has_value());
    if (!cpus) continue;
    EXPECT_EQ(cpus->size(), c.count);
    EXPECT_EQ(cpu_list_text(*cpus), *c.written);
  }
  // Repeated ranges cost no more than the CPUs they name.
  std::string repeated;
  for (int i = 0; i < 20000; ++i) repeated += "0-65535,";
  repeated += "7";
  const auto all = parse_cpu_list(repeated);
  ASSERT_TRUE(all.has_value());
  EXPECT_EQ(all->size(), std::size_t{kCpuNumberLimit});
}

TEST(MachineText, CpuinfoModelAndHypervisorFlag) {
  const char* cpuinfo =
      "processor\t: 0\n"
      "model name\t: AMD EPYC 7B13\n"
      "flags\t\t: fpu vme hypervisor lahf_lm\n"
      "\n"
      "processor\t: 1\n"
      "model name\t: AMD EPYC 7B13\n";
  EXPECT_EQ(cpu_model(cpuinfo), "AMD EPYC 7B13");
  EXPECT_TRUE(has_hypervisor_flag(cpuinfo));
  // A flag that merely contains the word does not count.
  EXPECT_FALSE(has_hypervisor_flag("flags\t\t: fpu not_hypervisor_x\n"));
  EXPECT_FALSE(cpu_model("processor\t: 0\n").has_value());
}

TEST(MachineText, Counters) {
  EXPECT_EQ(parse_counter(" 42\n"), 42u);
  EXPECT_FALSE(parse_counter("").has_value());
  EXPECT_FALSE(parse_counter("-3").has_value());
}

}  // namespace
}  // namespace truvello::cli
