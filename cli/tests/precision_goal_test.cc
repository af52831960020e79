#include "statistics/precision_goal.h"

#include <gtest/gtest.h>

#include <vector>

#include "commands/options.h"

namespace truvello::cli {
namespace {

TEST(PrecisionGoal, StopsWhenTightEnoughOrWhenTheNextRunWouldPassTheBudget) {
  const PrecisionGoal goal{1.0, 60.0, 3};
  // Scores within 0.1 % of each other: a ±1 % interval after three runs.
  const std::vector<double> tight{1000.0, 1001.0, 999.5};
  const std::vector<double> loose{1000.0, 1100.0, 950.0};
  struct Case {
    const char* what;
    std::vector<double> scores;
    double elapsed;
    double next_run;
    std::optional<SeriesStop> stop;
  } cases[] = {
      {"two tight runs are not enough", {1000.0, 1000.5}, 10.0, 5.0, std::nullopt},
      {"three tight runs are", tight, 15.0, 5.0, SeriesStop::kReached},
      {"tight wins over a spent budget", tight, 100.0, 5.0, SeriesStop::kReached},
      {"loose runs go on", loose, 15.0, 5.0, std::nullopt},
      {"a run that ends exactly at the budget still runs", loose, 55.0, 5.0, std::nullopt},
      {"one that would end after it does not", loose, 55.5, 5.0, SeriesStop::kBudget},
      {"a budget spent by the first run", {1000.0}, 70.0, 5.0, SeriesStop::kBudget},
      {"no completed run yet", {}, 5.0, 5.0, std::nullopt},
      {"a length that is not a number ends the series", loose, 5.0, std::numeric_limits<double>::quiet_NaN(),
       SeriesStop::kBudget},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(precision_stop(goal, c.scores, c.elapsed, c.next_run), c.stop) << c.what;
  }
  // --repeat raises the minimum.
  EXPECT_EQ(precision_stop(PrecisionGoal{1.0, 60.0, 4}, tight, 15.0, 5.0), std::nullopt);
  EXPECT_STREQ(stop_key(SeriesStop::kBudget), "budget");
}

TEST(PrecisionGoal, LaterRunsWarmUpBrieflyUnlessAskedForLess) {
  EXPECT_EQ(later_warmup(120.0), kLaterWarmupSeconds);
  EXPECT_EQ(later_warmup(0.5), 0.5);
  EXPECT_EQ(later_warmup(0.0), 0.0);
}

TEST(PrecisionGoal, Options) {
  const ParsedCommandLine parsed = parse_command_line({"--precision", "0.5", "--max-time", "90", "--single"});
  ASSERT_TRUE(parsed.options) << parsed.err;
  EXPECT_EQ(parsed.options->precision_percent, 0.5);
  EXPECT_EQ(parsed.options->max_time_seconds, 90.0);
  EXPECT_EQ(parse_command_line({"--precision", "2"}).options->max_time_seconds, kDefaultMaxTimeSeconds);
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--max-time", "60"},
                                             {"--precision", "0"},
                                             {"--precision", "-1"},
                                             {"--precision", "x"},
                                             {"--precision", "1", "--max-time", "0"},
                                             {"--precision", "1", "--max-time", "nan"}}) {
    const ParsedCommandLine p = parse_command_line(bad);
    EXPECT_EQ(p.exit_code, kExitUsage) << bad[0] << " " << bad[1];
    EXPECT_NE(p.err.find(bad.size() == 2 ? bad[0] : "--max-time"), std::string::npos) << p.err;
  }
}

}  // namespace
}  // namespace truvello::cli
