// Thread creation failing for real, not through an injected runtime: the
// probe child lowers RLIMIT_NPROC on itself and runs the all-CPU benchmark.
#include <errno.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "child_process.h"
#include "test_vectors.h"
#include "truvello.h"

namespace truvello::reliability {
namespace {

using testing::library_reason;
using testing::library_reason_prefix;

struct ChildRun {
  int exit_code = -1;
  std::string output;
  std::map<std::string, std::string> facts;
};

ChildRun run_probe(const char* path) {
  ChildRun run;
  try {
    testing::Finished done = testing::ChildProcess({path}, testing::ChildProcess::Output::kMerged).finish();
    run.exit_code = done.status;
    run.output = std::move(done.out);
  } catch (const std::exception& e) {
    run.output = e.what();
    return run;
  }
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) run.facts.emplace(line.substr(0, eq), line.substr(eq + 1));
  }
  return run;
}

std::string value(const std::map<std::string, std::string>& facts, const std::string& key) {
  const auto found = facts.find(key);
  return found == facts.end() ? "<not reported>" : found->second;
}

std::string os_error_text(int code) {
  return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

// A spawn refused by the task limit: failed before any measuring, with the
// OS's own words, and not a thread left behind.
void expect_refused_spawn(const ChildRun& run, const std::string& name) {
  SCOPED_TRACE(name);
  const auto& f = run.facts;
  EXPECT_EQ(value(f, name + ".status"), std::to_string(TRUVELLO_STATUS_FAILED));
  EXPECT_EQ(value(f, name + ".reason"), library_reason_prefix("spawn") + os_error_text(EAGAIN));
  EXPECT_EQ(value(f, name + ".workers"), value(f, "cpus"));
  EXPECT_EQ(value(f, name + ".samples"), "0");
  EXPECT_EQ(value(f, name + ".total_ops"), "0");
  EXPECT_EQ(value(f, name + ".progress_calls"), "0");
  EXPECT_EQ(value(f, name + ".outcome_problem"), "none");
  EXPECT_EQ(value(f, name + ".threads_after"), value(f, "baseline_threads"));
}

TEST(ThreadLimit, AllCpuRunFailsCleanlyAndTheProcessRunsAgainOnceLifted) {
  const ChildRun run = run_probe(TRUVELLO_THREAD_LIMIT_PROBE);
  if (run.exit_code == 77) GTEST_SKIP() << "thread creation cannot be made to fail here: " << run.output;
  ASSERT_EQ(run.exit_code, 0) << run.output;
  SCOPED_TRACE(run.output);

  expect_refused_spawn(run, "none_allowed");
  if (value(run.facts, "one_allowed") == "available") {
    expect_refused_spawn(run, "one_allowed");
  } else {
    std::printf("partial start not exercised: %s\n", value(run.facts, "one_allowed").c_str());
  }

  // The refused runs released the process: a cancelled one is admitted (the
  // cancel is only looked at after the claim), and a real one completes.
  const auto& f = run.facts;
  EXPECT_EQ(value(f, "lifted_cancelled.status"), std::to_string(TRUVELLO_STATUS_CANCELLED));
  EXPECT_EQ(value(f, "lifted_cancelled.reason"), library_reason("cancelled_before_starting"));
  EXPECT_EQ(value(f, "lifted.status"), std::to_string(TRUVELLO_STATUS_COMPLETED));
  EXPECT_EQ(value(f, "lifted.reason"), "");
  EXPECT_EQ(value(f, "lifted.workers"), value(f, "cpus"));
  EXPECT_EQ(value(f, "lifted.outcome_problem"), "none");
  EXPECT_EQ(value(f, "lifted.threads_after"), value(f, "baseline_threads"));
}

}  // namespace
}  // namespace truvello::reliability
