// The test support is what every other test trusts to fail a run that hangs,
// leaks a thread or breaks the sample layout, so it is checked itself.
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "process_threads.h"
#include "sample_tiling.h"

namespace truvello::testing {
namespace {

using Output = ChildProcess::Output;

TEST(ChildProcess, KeepsTheStreamsApartOrTogetherAsAsked) {
  const std::vector<std::string> both{"/bin/sh", "-c", "echo out; echo err >&2; exit 3"};
  const auto pipes = run_to_end(both, Output::kPipes);
  ASSERT_TRUE(pipes.has_value());
  EXPECT_EQ(pipes->status, 3);
  EXPECT_EQ(pipes->out, "out\n");
  EXPECT_EQ(pipes->err, "err\n");
  for (const Output merged : {Output::kMerged, Output::kTerminal}) {
    const auto one = run_to_end(both, merged);
    ASSERT_TRUE(one.has_value());
    EXPECT_EQ(one->status, 3);
    EXPECT_NE(one->out.find("out"), std::string::npos) << one->out;
    EXPECT_NE(one->out.find("err"), std::string::npos) << one->out;
    EXPECT_EQ(one->err, "");
  }
  EXPECT_FALSE(run_to_end({"/nonexistent/program"}).has_value());
}

TEST(ChildProcess, RunsCodeOfThisProgramInAFork) {
  ChildProcess ok([] { std::fputs("from the fork", stderr); }, Output::kPipes);
  const Finished done = ok.finish();
  EXPECT_EQ(done.status, 0);
  EXPECT_EQ(done.err, "from the fork");
  const Finished aborted = ChildProcess([] { std::abort(); }, Output::kMerged).finish();
  EXPECT_EQ(aborted.signal, SIGABRT);
  EXPECT_FALSE(aborted.hung);
  const Finished thrown = ChildProcess([] { throw std::runtime_error("escaped"); }, Output::kPipes).finish();
  EXPECT_EQ(thrown.status, 126) << "an exception ends the fork, never returns into the test";
}

TEST(ChildProcess, WaitsForTextThenTakesASignal) {
  ChildProcess child({"/bin/sh", "-c", "echo ready >&2; exec sleep 1000"}, Output::kPipes);
  ASSERT_TRUE(child.wait_for("ready"));
  child.send(SIGTERM);
  EXPECT_EQ(child.finish().status, 128 + SIGTERM);
}

// The limits only bound a hang, and they do bound it: a child that never
// ends is killed, and one that is dropped does not outlive its owner.
TEST(ChildProcess, HangsEndAtTheLimitAndDroppedChildrenDie) {
  for (const Output output : {Output::kPipes, Output::kInherited}) {
    ChildProcess hung({"/bin/sleep", "1000"}, output);
    const Finished done = hung.finish(std::chrono::seconds(1));
    EXPECT_TRUE(done.hung);
    EXPECT_EQ(done.signal, SIGKILL);
  }
  pid_t pid = -1;
  {
    ChildProcess dropped({"/bin/sleep", "1000"}, Output::kPipes);
    pid = dropped.pid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(kill(pid, 0), 0);
  }
  EXPECT_NE(kill(pid, 0), 0) << "reaped, so the id is gone";
}

TEST(ProcessThreads, WorkerCountSettlesAndTheDeadlineEndsTheWait) {
  std::atomic<bool> leave{false};
  std::atomic<bool> named{false};
  std::thread worker([&] {
    pthread_setname_np(pthread_self(), "truvello-77");
    named.store(true);
    while (!leave.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  });
  while (!named.load()) std::this_thread::yield();
  EXPECT_EQ(settled_worker_threads(1), 1);
  // Waiting for a count that never comes returns the last count at the deadline.
  EXPECT_EQ(settled_worker_threads(0, std::chrono::milliseconds(50)), 1);
  leave.store(true);
  worker.join();
  EXPECT_EQ(settled_worker_threads(0), 0);
}

struct Sample {
  double t, dt;
  std::uint64_t ops;
  double rate;
};

TEST(SampleTiling, EachFaultIsNamed) {
  const std::vector<Sample> good{{1.0, 1.0, 100, 100.0}, {1.5, 0.5, 30, 60.0}};
  struct Case {
    const char* name;
    std::vector<Sample> samples;
    double measured;
    std::uint64_t total;
    std::string problem;
  };
  const std::vector<Case> cases{
      {"tiled", good, 1.5, 130, ""},
      {"no samples", {}, 0.0, 0, ""},
      {"gap", {{1.0, 1.0, 100, 100.0}, {1.6, 0.5, 30, 60.0}}, 1.6, 130, "sample 1: does not begin where"},
      {"zero length", {{1.0, 0.0, 0, 0.0}}, 1.0, 0, "sample 0: dt is not positive"},
      {"rate", {{1.0, 1.0, 100, 99.0}}, 1.0, 100, "sample 0: rate is not ops / dt"},
      {"short of the window", good, 1.6, 130, "samples do not end at the measured time"},
      {"ops lost", good, 1.5, 131, "sample ops do not add up"},
  };
  for (const Case& c : cases) {
    const std::string problem = tiling_problem(c.samples, c.measured, c.total);
    if (c.problem.empty()) {
      EXPECT_EQ(problem, "") << c.name;
    } else {
      EXPECT_EQ(problem.rfind(c.problem, 0), 0u) << c.name << ": " << problem;
    }
  }
  // Read back from text: within the tolerance passes, beyond it does not.
  const TilingTolerance text{1e-9, 1e-6, false};
  EXPECT_EQ(tiling_problem(std::vector<Sample>{{1.0, 1.0, 100, 100.00001}}, 1.0 + 1e-10, 100, text), "");
  EXPECT_NE(tiling_problem(std::vector<Sample>{{1.0, 1.0, 100, 100.001}}, 1.0, 100, text), "");
}

}  // namespace
}  // namespace truvello::testing
