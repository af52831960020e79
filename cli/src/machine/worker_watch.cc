#include "machine/worker_watch.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <tuple>
#include <vector>

namespace truvello::cli {

namespace {

using Clock = std::chrono::steady_clock;

// A thread cannot run, or wait, longer than it exists; the readings and the
// OS kernel's accounting are not taken at the same instant, and stat counts
// whole clock ticks, so a little more is allowed before a figure is refused
// as one the OS kernel could not have meant.
bool plausible(double seconds, double window_seconds) { return seconds <= 1.5 * window_seconds + 0.05; }

// Reads a small file into `buffer` without allocating: `path` relative to
// `dir_fd`, or absolute. Absent when it cannot be opened or read, or when
// it fills the buffer: no file the watch reads is that long, so the text
// would be cut short. Non-blocking, so a FIFO in its place cannot stall it.
template <std::size_t N>
std::optional<std::string_view> read_small(int dir_fd, const char* path, std::array<char, N>& buffer) {
  const int fd = ::openat(dir_fd, path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::size_t size = 0;
  bool failed = false;
  while (size < N) {
    const ssize_t got = ::read(fd, buffer.data() + size, N - size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      failed = got < 0;
      break;
    }
    size += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (failed || size == N) return std::nullopt;
  return std::string_view(buffer.data(), size);
}

// "<task id>/<file>" into `path`; false if it does not fit.
template <std::size_t N>
bool task_path(std::array<char, N>& path, const char* task_id, const char* file) {
  const int n = std::snprintf(path.data(), N, "%s/%s", task_id, file);
  return n > 0 && static_cast<std::size_t>(n) < N;
}

// A folder name under /proc/self/task: a task id, at most ten digits.
bool is_task_id(const char* name) {
  std::size_t n = 0;
  for (; name[n] != '\0'; ++n) {
    if (name[n] < '0' || name[n] > '9' || n >= 10) return false;
  }
  return n > 0;
}

// A CPU list under /sys/devices, once per run.
std::optional<std::string> read_cpu_list_file(const std::string& path) {
  std::array<char, 4096> buffer;  // the most a sysfs file holds
  const auto text = read_small(AT_FDCWD, path.c_str(), buffer);
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

double clock_ticks_per_second() {
  const long ticks = ::sysconf(_SC_CLK_TCK);
  return ticks > 0 ? static_cast<double>(ticks) : 0.0;
}

}  // namespace

std::optional<WorkerObservation> worker_observation(std::string name, const ThreadReading& first,
                                                    const ThreadReading& last, double ticks_per_second) {
  const double window = std::chrono::duration<double>(last.at - first.at).count();
  if (!(window > 0.0)) return std::nullopt;
  WorkerObservation seen;
  seen.name = std::move(name);
  seen.window_seconds = window;
  if (first.sched && last.sched) {
    if (last.sched->run_ns < first.sched->run_ns) return std::nullopt;
    seen.cpu_seconds = static_cast<double>(last.sched->run_ns - first.sched->run_ns) * 1e-9;
    if (last.sched->wait_ns >= first.sched->wait_ns) {
      const double wait = static_cast<double>(last.sched->wait_ns - first.sched->wait_ns) * 1e-9;
      if (plausible(wait, window)) seen.wait_seconds = wait;
    }
  } else if (first.stat && last.stat && ticks_per_second > 0.0) {
    if (last.stat->cpu_ticks < first.stat->cpu_ticks) return std::nullopt;
    seen.cpu_seconds = static_cast<double>(last.stat->cpu_ticks - first.stat->cpu_ticks) / ticks_per_second;
  } else {
    return std::nullopt;
  }
  if (!plausible(seen.cpu_seconds, window)) return std::nullopt;
  if (first.involuntary_switches && last.involuntary_switches &&
      *last.involuntary_switches >= *first.involuntary_switches) {
    seen.involuntary_switches = *last.involuntary_switches - *first.involuntary_switches;
  }
  return seen;
}

void WorkerTally::DirClose::operator()(DIR* dir) const { ::closedir(dir); }

WorkerTally::WorkerTally(WatchRoots roots)
    : roots_(std::move(roots)), ticks_per_second_(clock_ticks_per_second()), tasks_(::opendir(roots_.tasks.c_str())) {}

void WorkerTally::poll() {
  if (!tasks_) return;
  // The listing is made afresh from the start on every pass.
  ::rewinddir(tasks_.get());
  while (const dirent* entry = ::readdir(tasks_.get())) {
    if (is_task_id(entry->d_name)) read_task(::dirfd(tasks_.get()), entry->d_name);
  }
}

void WorkerTally::read_task(int tasks_fd, const char* task_id) {
  std::array<char, 64> path;
  const long tid = std::strtol(task_id, nullptr, 10);
  auto it = workers_.find(tid);
  if (it == workers_.end()) {
    // Other threads are looked at again on every pass: a new thread carries
    // the process's name until it names itself.
    std::array<char, 32> comm;
    const auto name = task_path(path, task_id, "comm") ? read_small(tasks_fd, path.data(), comm) : std::nullopt;
    const auto index = name ? worker_index(*name) : std::nullopt;
    if (!index) return;
    std::string_view shown = *name;
    if (shown.back() == '\n') shown.remove_suffix(1);
    it = workers_.emplace(tid, Worker{std::string(shown), *index, std::nullopt, std::nullopt, {}}).first;
  }

  ThreadReading reading;
  std::array<char, 128> schedstat;
  if (task_path(path, task_id, "schedstat")) {
    if (const auto text = read_small(tasks_fd, path.data(), schedstat)) reading.sched = parse_schedstat(*text);
  }
  reading.at = Clock::now();
  std::array<char, 1024> stat;
  if (task_path(path, task_id, "stat")) {
    if (const auto text = read_small(tasks_fd, path.data(), stat)) reading.stat = parse_task_stat(*text);
  }
  std::array<char, 4096> status;
  if (task_path(path, task_id, "status")) {
    if (const auto text = read_small(tasks_fd, path.data(), status)) {
      reading.involuntary_switches = parse_involuntary_switches(*text);
    }
  }
  // Gone, or saying nothing of its CPU time: the previous reading stands.
  if (!reading.sched && !reading.stat) return;

  Worker& worker = it->second;
  if (!worker.first) worker.first = reading;
  worker.last = reading;
  if (reading.stat) worker.cpus.insert(reading.stat->processor);
}

std::optional<RunObservation> WorkerTally::observation() const {
  std::vector<const Worker*> seen;
  for (const auto& entry : workers_) seen.push_back(&entry.second);
  std::sort(seen.begin(), seen.end(),
            [](const Worker* a, const Worker* b) { return std::tie(a->index, a->name) < std::tie(b->index, b->name); });
  const auto core_list = read_cpu_list_file(roots_.devices + "/cpu_core/cpus");
  const auto atom_list = read_cpu_list_file(roots_.devices + "/cpu_atom/cpus");
  RunObservation observation;
  for (const Worker* worker : seen) {
    if (!worker->first || !worker->last) continue;
    auto figures = worker_observation(worker->name, *worker->first, *worker->last, ticks_per_second_);
    if (!figures) continue;
    figures->cpus.assign(worker->cpus.begin(), worker->cpus.end());
    figures->core_types = core_types(figures->cpus, core_list, atom_list);
    observation.workers.push_back(std::move(*figures));
  }
  if (observation.workers.empty()) return std::nullopt;
  return observation;
}

WorkerWatch::WorkerWatch(WatchRoots roots, std::chrono::milliseconds interval) : interval_(interval) {
  try {
    tally_.emplace(std::move(roots));
    thread_ = std::thread(&WorkerWatch::watch, this);
  } catch (...) {
    // No thread, no observation; the run goes ahead all the same.
    tally_.reset();
  }
}

WorkerWatch::~WorkerWatch() { stop(); }

void WorkerWatch::measurement_started() noexcept { measuring_.store(true, std::memory_order_relaxed); }

void WorkerWatch::stop() noexcept {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void WorkerWatch::watch() noexcept {
  try {
    std::unique_lock lock(mutex_);
    while (!stop_) {
      if (measuring_.load(std::memory_order_relaxed)) {
        lock.unlock();
        tally_->poll();
        lock.lock();
      }
      wake_.wait_for(lock, interval_, [this] { return stop_; });
    }
  } catch (...) {
    // Out of memory at worst: the readings taken so far stand.
  }
}

std::optional<RunObservation> WorkerWatch::finish() noexcept {
  stop();
  try {
    return tally_ ? tally_->observation() : std::nullopt;
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace truvello::cli
