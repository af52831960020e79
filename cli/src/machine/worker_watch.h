#pragma once

// Follows the library's worker threads while a run lasts, as the OS kernel
// accounts for them, so that a slow run can be told apart from a slow
// machine: a worker that got less than a whole CPU, or waited for one, was
// disturbed by other work. The library reads nothing of this; the command
// does, from /proc/self/task and /sys/devices.

#include <dirent.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "machine/thread_text.h"
#include "model/run_outcome.h"

namespace truvello::cli {

// Short enough to see a run of a second a few times, long enough that the
// watch's reads cost nothing measurable.
inline constexpr std::chrono::milliseconds kWorkerPollInterval{100};

// One look at a worker thread and when it was taken.
struct ThreadReading {
  std::chrono::steady_clock::time_point at;
  std::optional<SchedStat> sched;
  std::optional<TaskStat> stat;
  std::optional<std::uint64_t> involuntary_switches;
};

// What a worker did between two readings of it: CPU time from schedstat,
// or from stat's clock ticks when schedstat was not read both times; wait
// and involuntary switches when both readings have them. Absent when neither
// gives CPU time at both readings, when the window is not positive, or when
// the CPU time went backwards. A counter that went backwards leaves only its
// own figure out. `cpus` and `core_types` are left to the caller.
std::optional<WorkerObservation> worker_observation(std::string name, const ThreadReading& first,
                                                    const ThreadReading& last, double ticks_per_second);

// Where the watch reads: this process's threads, and the devices that list
// a hybrid machine's core types. Tests point them at made-up trees.
struct WatchRoots {
  std::string tasks = "/proc/self/task";
  std::string devices = "/sys/devices";
};

// The readings of every worker thread, taken one pass at a time. Not
// thread-safe: the watch's thread owns it while the run lasts.
class WorkerTally {
 public:
  explicit WorkerTally(WatchRoots roots);

  // One look at every thread named "truvello-<n>": the first reading of a
  // worker is kept, and the latest one replaces the one before.
  void poll();

  // The workers seen at least twice, in index order, with the core types of
  // their CPUs on a hybrid machine; absent when there are none.
  std::optional<RunObservation> observation() const;

 private:
  struct Worker {
    std::string name;
    unsigned index = 0;
    std::optional<ThreadReading> first;
    std::optional<ThreadReading> last;
    std::set<unsigned> cpus;  // where the readings found it
  };
  struct DirClose {
    void operator()(DIR* dir) const;
  };

  void read_task(int tasks_fd, const char* task_id);

  WatchRoots roots_;
  double ticks_per_second_;
  std::unique_ptr<DIR, DirClose> tasks_;  // opened once, listed afresh on each pass
  std::map<long, Worker> workers_;        // by task id
};

// Started around one run: a background thread takes a pass over the workers
// every `interval` once the measurement has begun, so that each worker's
// first reading falls in the measurement and its last is the last taken
// while it lived. Nothing it meets makes the run fail: an unreadable file
// leaves that figure out, and a watch that saw nothing observes nothing.
class WorkerWatch {
 public:
  explicit WorkerWatch(WatchRoots roots = {}, std::chrono::milliseconds interval = kWorkerPollInterval);
  // Stops and joins the background thread if finish() did not.
  ~WorkerWatch();
  WorkerWatch(const WorkerWatch&) = delete;
  WorkerWatch& operator=(const WorkerWatch&) = delete;

  // The measurement has begun. Any thread; never blocks, never allocates:
  // the library's progress callback calls it.
  void measurement_started() noexcept;

  // Stops the watch and gives what it saw (WorkerTally::observation).
  std::optional<RunObservation> finish() noexcept;

 private:
  void watch() noexcept;
  void stop() noexcept;

  const std::chrono::milliseconds interval_;

  // Set once by measurement_started(), from the library's thread; read by
  // the watch thread before each pass. Relaxed: no other data is published
  // through it, and a pass that misses the store sees it at the next one.
  std::atomic<bool> measuring_{false};

  // stop_ is written by stop() and read by the watch thread, both under
  // mutex_; wake_ cuts the watch thread's sleep short so that finish() need
  // not wait out an interval.
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;

  // Used only by the watch thread while it runs. finish() reads it after
  // joining that thread, and the join orders every write before the read;
  // no lock is needed. Absent if it could not be made.
  std::optional<WorkerTally> tally_;

  std::thread thread_;  // last: started once everything it uses exists
};

}  // namespace truvello::cli
