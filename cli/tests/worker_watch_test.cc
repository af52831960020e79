#include "machine/worker_watch.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "temp_dir.h"

namespace truvello::cli {
namespace {

using std::chrono::milliseconds;

ThreadReading reading_at(double seconds, std::optional<SchedStat> sched, std::optional<TaskStat> stat = std::nullopt,
                         std::optional<std::uint64_t> switches = std::nullopt) {
  const auto at =
      std::chrono::steady_clock::time_point{} +
      std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
  return ThreadReading{at, sched, stat, switches};
}

TEST(WorkerObservation, FiguresBetweenTwoReadings) {
  struct Case {
    const char* what;
    ThreadReading first, last;
    std::optional<double> cpu_seconds;  // absent: no observation
    std::optional<double> wait_seconds = std::nullopt;
    std::optional<std::uint64_t> switches = std::nullopt;
    double ticks_per_second = 100.0;
  };
  const Case table[] = {
      {"from schedstat", reading_at(10, SchedStat{5'000'000'000, 100'000'000, 9}, std::nullopt, 10),
       reading_at(12, SchedStat{6'420'000'000, 262'000'000, 30}, std::nullopt, 422), 1.42, 0.162, 412},
      {"clock ticks when schedstat is missing at the end", reading_at(10, SchedStat{0, 0, 0}, TaskStat{0, 100}),
       reading_at(12, std::nullopt, TaskStat{0, 300}), 2.0},
      {"stat without a tick rate", reading_at(10, std::nullopt, TaskStat{0, 100}),
       reading_at(12, std::nullopt, TaskStat{0, 300}), std::nullopt, std::nullopt, std::nullopt, 0.0},
      {"CPU time going backwards", reading_at(10, SchedStat{9, 0, 0}), reading_at(12, SchedStat{8, 0, 0}),
       std::nullopt},
      {"more CPU time than the window could hold", reading_at(10, SchedStat{0, 0, 0}),
       reading_at(12, SchedStat{10'000'000'000, 0, 0}), std::nullopt},
      {"wait and switches going backwards leave only those out", reading_at(10, SchedStat{0, 500, 0}, std::nullopt, 9),
       reading_at(12, SchedStat{1'000'000'000, 400, 0}, std::nullopt, 8), 1.0},
      {"one reading", reading_at(10, SchedStat{0, 0, 0}), reading_at(10, SchedStat{0, 0, 0}), std::nullopt},
      {"no CPU time at all", reading_at(10, std::nullopt, std::nullopt, 1),
       reading_at(12, std::nullopt, std::nullopt, 5), std::nullopt},
  };
  for (const Case& c : table) {
    SCOPED_TRACE(c.what);
    const auto seen = worker_observation("truvello-0", c.first, c.last, c.ticks_per_second);
    ASSERT_EQ(seen.has_value(), c.cpu_seconds.has_value());
    if (!seen) continue;
    EXPECT_EQ(seen->name, "truvello-0");
    EXPECT_DOUBLE_EQ(seen->window_seconds, 2.0);
    EXPECT_DOUBLE_EQ(seen->cpu_seconds, *c.cpu_seconds);
    EXPECT_DOUBLE_EQ(seen->cpu_share(), *c.cpu_seconds / 2.0);
    ASSERT_EQ(seen->wait_seconds.has_value(), c.wait_seconds.has_value());
    if (c.wait_seconds) {
      EXPECT_DOUBLE_EQ(*seen->wait_seconds, *c.wait_seconds);
    }
    EXPECT_EQ(seen->involuntary_switches, c.switches);
  }
}

void write(const std::string& path, const std::string& text) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << text;
}

// A made-up /proc/self/task and /sys/devices: the process's main thread,
// two readable workers, one whose files are garbage, a FIFO for a name, and
// folders that are not task ids.
WatchRoots fixture_tree(const truvello::testing::TempDir& dir) {
  const std::string tasks = dir.file("task");
  write(tasks + "/100/comm", "truvello\n");
  write(tasks + "/100/schedstat", "1 1 1\n");
  write(tasks + "/101/comm", "truvello-1\n");
  write(tasks + "/101/schedstat", "2000000000 50000000 30\n");
  std::string stat = "101 (truvello-1) R";
  for (int field = 4; field <= 52; ++field) {
    stat += ' ';
    stat += std::to_string(field == 39 ? 5 : field);  // field 39: the CPU
  }
  write(tasks + "/101/stat", stat + "\n");
  write(tasks + "/101/status", "Name:\ttruvello-1\nnonvoluntary_ctxt_switches:\t7\n");
  write(tasks + "/102/comm", "truvello-0\n");
  write(tasks + "/102/schedstat", "garbage");
  write(tasks + "/102/stat", "102 (truvello-0) ) (");
  write(tasks + "/103/comm", "truvello-2\n");
  write(tasks + "/103/schedstat", "1 2 3\n");
  std::filesystem::create_directories(tasks + "/104");
  EXPECT_EQ(mkfifo((tasks + "/104/comm").c_str(), 0600), 0);
  write(tasks + "/self/comm", "truvello-3\n");
  write(tasks + "/12345678901/comm", "truvello-4\n");
  write(dir.file("devices/cpu_core/cpus"), "0-3\n");
  write(dir.file("devices/cpu_atom/cpus"), "4-7\n");
  return WatchRoots{tasks, dir.file("devices")};
}

TEST(WorkerWatch, ReadsAFixtureTreeAndSkipsWhatItCannotRead) {
  const truvello::testing::TempDir dir;
  const WatchRoots roots = fixture_tree(dir);
  WorkerTally tally(roots);
  tally.poll();
  EXPECT_FALSE(tally.observation().has_value()) << "one reading gives no window";
  tally.poll();
  const auto observation = tally.observation();
  ASSERT_TRUE(observation.has_value());
  ASSERT_EQ(observation->workers.size(), 2u);

  const WorkerObservation& one = observation->workers[0];
  EXPECT_EQ(one.name, "truvello-1");
  EXPECT_GT(one.window_seconds, 0.0);
  EXPECT_EQ(one.cpu_seconds, 0.0) << "the files did not change";
  EXPECT_EQ(one.wait_seconds, 0.0);
  EXPECT_EQ(one.involuntary_switches, 0u);
  EXPECT_EQ(one.cpus, std::vector<unsigned>{5});
  EXPECT_EQ(one.core_types, std::vector<std::string>{"atom"});

  const WorkerObservation& two = observation->workers[1];
  EXPECT_EQ(two.name, "truvello-2");
  EXPECT_FALSE(two.involuntary_switches.has_value()) << "no status file";
  EXPECT_TRUE(two.cpus.empty()) << "no stat file";

  // Told nothing of a measurement, the watch reads nothing.
  WorkerWatch idle(roots, milliseconds(1));
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_FALSE(idle.finish().has_value());
  // A tree that does not exist is no error.
  WorkerWatch nowhere(WatchRoots{dir.file("missing"), dir.file("missing")}, milliseconds(1));
  nowhere.measurement_started();
  EXPECT_FALSE(nowhere.finish().has_value());
}

TEST(WorkerWatch, FollowsARealThreadNamedAsAWorker) {
  WorkerWatch watch(WatchRoots{}, milliseconds(20));
  std::jthread spinner([](std::stop_token stop) {
    pthread_setname_np(pthread_self(), "truvello-0");
    volatile std::uint64_t spins = 0;
    while (!stop.stop_requested()) spins = spins + 1;
  });
  watch.measurement_started();
  std::this_thread::sleep_for(milliseconds(500));
  spinner.request_stop();
  spinner.join();
  const auto observation = watch.finish();
  ASSERT_TRUE(observation.has_value());
  ASSERT_EQ(observation->workers.size(), 1u);
  const WorkerObservation& worker = observation->workers[0];
  EXPECT_EQ(worker.name, "truvello-0");
  EXPECT_GT(worker.cpu_share(), 0.0);
  EXPECT_LE(worker.cpu_share(), 1.5);
  EXPECT_FALSE(worker.cpus.empty());
}

}  // namespace
}  // namespace truvello::cli
