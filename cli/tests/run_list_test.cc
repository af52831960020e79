#include "text/run_list.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace truvello::cli {
namespace {

TEST(RunList, RangesFromThreeInARowAndWordsBetween) {
  const struct {
    std::vector<std::uint32_t> repeats;
    const char* text;
  } cases[] = {
      {{}, ""},
      {{2}, "run 2"},
      {{1, 2}, "runs 1 and 2"},
      {{1, 3, 4}, "runs 1, 3 and 4"},
      {{1, 2, 3, 4}, "runs 1-4"},
      {{6, 1, 3, 2}, "runs 1-3 and 6"},
      {{1, 2, 3, 5, 6, 8, 9, 10}, "runs 1-3, 5, 6 and 8-10"},
      {{3, 3, 1}, "runs 1 and 3"},  // a number twice is one run named
      {{4294967294u, 4294967295u}, "runs 4294967294 and 4294967295"},
  };
  for (const auto& c : cases) EXPECT_EQ(run_list_text(c.repeats), c.text);
}

}  // namespace
}  // namespace truvello::cli
