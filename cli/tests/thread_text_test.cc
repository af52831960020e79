#include "machine/thread_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace truvello::cli {
namespace {

// A task's stat line as the OS kernel writes it: fields 3 to 52 after the
// name, with the three the parser reads set as given.
std::string stat_line(const std::string& name, const std::string& utime = "250", const std::string& stime = "3",
                      const std::string& processor = "1", int last_field = 52) {
  std::string line = "4242 (" + name + ")";
  for (int field = 3; field <= last_field; ++field) {
    line += ' ';
    if (field == 3) {
      line += 'R';
    } else if (field == 14) {
      line += utime;
    } else if (field == 15) {
      line += stime;
    } else if (field == 39) {
      line += processor;
    } else {
      line += std::to_string(field * 11);
    }
  }
  return line + "\n";
}

TEST(ThreadText, Schedstat) {
  struct Case {
    const char* text;
    std::optional<SchedStat> expected;
  };
  const Case table[] = {
      {"1420000000 162000000 412\n", SchedStat{1420000000, 162000000, 412}},
      {"18446744073709551615 0 0", SchedStat{UINT64_MAX, 0, 0}},
      {"18446744073709551616 0 0", std::nullopt},
      {"", std::nullopt},
      {"1 2", std::nullopt},
      {"1 2 3 4", std::nullopt},
      {"-1 2 3", std::nullopt},
      {"1.5 2 3", std::nullopt},
      {"a b c", std::nullopt},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.text);
    const auto got = parse_schedstat(c.text);
    ASSERT_EQ(got.has_value(), c.expected.has_value());
    if (!got) continue;
    EXPECT_EQ(got->run_ns, c.expected->run_ns);
    EXPECT_EQ(got->wait_ns, c.expected->wait_ns);
    EXPECT_EQ(got->timeslices, c.expected->timeslices);
  }
}

TEST(ThreadText, TaskStatCountsFieldsFromTheLastParenthesis) {
  struct Case {
    const char* what;
    std::string text;
    std::optional<unsigned> processor;  // absent: refused
    std::uint64_t ticks = 0;
  };
  const Case table[] = {
      {"plain", stat_line("truvello-0"), 1, 253},
      {"name with spaces and parentheses", stat_line(") (x) 9 9 9"), 1, 253},
      {"name that looks like fields", stat_line("a) R 1 2 3 4 5"), 1, 253},
      {"the highest CPU number", stat_line("w", "0", "0", "65535"), 65535, 0},
      {"a CPU number past the limit", stat_line("w", "0", "0", "65536"), std::nullopt},
      {"a negative CPU", stat_line("w", "0", "0", "-1"), std::nullopt},
      {"CPU time that overflows", stat_line("w", "18446744073709551615", "1"), std::nullopt},
      {"huge CPU time", stat_line("w", "18446744073709551614", "1"), 1, UINT64_MAX},
      {"text for a number", stat_line("w", "many"), std::nullopt},
      {"cut short before the processor", stat_line("w", "250", "3", "1", 38), std::nullopt},
      {"ends with the processor", stat_line("w", "250", "3", "1", 39), 1, 253},
      {"no name", "4242 R 1 2 3", std::nullopt},
      {"parentheses the wrong way round", ") 4242 (", std::nullopt},
      {"empty", "", std::nullopt},
      {"garbage", "\x01\xff garbage (((", std::nullopt},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const auto got = parse_task_stat(c.text);
    ASSERT_EQ(got.has_value(), c.processor.has_value());
    if (!got) continue;
    EXPECT_EQ(got->processor, *c.processor);
    EXPECT_EQ(got->cpu_ticks, c.ticks);
  }
}

TEST(ThreadText, InvoluntarySwitchesFromStatus) {
  const std::string status =
      "Name:\ttruvello-0\n"
      "State:\tR (running)\n"
      "voluntary_ctxt_switches:\t5\n"
      "nonvoluntary_ctxt_switches:\t412\n";
  EXPECT_EQ(parse_involuntary_switches(status), 412u);
  EXPECT_EQ(parse_involuntary_switches("nonvoluntary_ctxt_switches:\t18446744073709551615"), UINT64_MAX);
  for (const char* refused : {
           "voluntary_ctxt_switches:\t5\n",           // the other count only
           "Name:\tnonvoluntary_ctxt_switches: 7\n",  // not at the start of a line
           "nonvoluntary_ctxt_switches:\tmany\n",
           "nonvoluntary_ctxt_switches:\t18446744073709551616\n",
           "nonvoluntary_ctxt_switches:",
           "",
       }) {
    EXPECT_FALSE(parse_involuntary_switches(refused).has_value()) << refused;
  }
}

TEST(ThreadText, WorkerIndexFromTheThreadName) {
  EXPECT_EQ(worker_index("truvello-0\n"), 0u);
  EXPECT_EQ(worker_index("truvello-12"), 12u);
  for (const char* other : {"truvello", "truvello\n", "truvello-", "truvello-x", "truvello--1", "truvello-+1",
                            "truvello-1 ", "xtruvello-1", "truvello-99999999999", ""}) {
    EXPECT_FALSE(worker_index(other).has_value()) << other;
  }
}

TEST(ThreadText, CoreTypesOfAHybridMachine) {
  using Types = std::vector<std::string>;
  const std::vector<unsigned> cpus{0, 1, 8, 20};
  EXPECT_EQ(core_types(cpus, "0-7\n", "8-15\n"), (Types{"core", "core", "atom", "unknown"}));
  EXPECT_EQ(core_types(cpus, "0-7", std::nullopt), (Types{"core", "core", "unknown", "unknown"}));
  EXPECT_EQ(core_types(cpus, std::nullopt, std::nullopt), Types{}) << "not hybrid";
  EXPECT_EQ(core_types(cpus, "zero", std::nullopt), Types{}) << "an unreadable list says nothing";
  EXPECT_EQ(core_types({}, "0-7", "8-15"), Types{});
}

}  // namespace
}  // namespace truvello::cli
