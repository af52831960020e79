#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <vector>

#include "clock.h"
#include "readiness_queue.h"

namespace truvello {

// One worker's counters, alone on a 64-byte cache line so that workers
// counting side by side never share a line.
//
// Memory ordering: every access is relaxed. `warmup_ops` and `measured_ops`
// have one writer (their worker, one add of 8 per batch) and are read by the
// driver while the run goes on; a reading may lag by a batch, and nothing is
// published through them. `measured_ns` and `checksum` are stored once by the
// worker after its loop and read by the driver only after joining the
// worker's thread, which orders them.
struct alignas(64) Counters {
  std::atomic<std::uint64_t> warmup_ops{0};
  std::atomic<std::uint64_t> measured_ops{0};
  std::atomic<std::uint64_t> measured_ns{0};
  std::atomic<std::uint64_t> checksum{0};
};

static_assert(sizeof(Counters) == 64 && alignof(Counters) == 64);

// Holds every worker until the driver opens it, once, for all of them.
//
// Call-count rules: `release` is called at most once per run, by the driver;
// `wait` once by each worker. Opening cannot be undone.
//
// Memory ordering: everything the driver writes before `release` (the timing
// cell, the stop flag) happens-before everything a worker does after `wait`
// returns, through the gate's mutex.
class StartGate {
 public:
  // Sets `released` under the mutex, unlocks, then wakes every waiter.
  void release();

  // Blocks until the gate is released; returns at once if it already is.
  void wait();

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool released_ = false;  // guarded by mutex_
};

// A run's Timing, set exactly once by the driver and read-only afterwards.
//
// Call-count rules: `set` once, before the start gate opens; a second `set`
// is a fatal internal error. `get` only after passing the gate on the path
// where the driver did not set the stop flag.
//
// Memory ordering: none of its own. The cell is written before the gate
// opens and read after it, so the gate's mutex publishes it; readers take no
// lock.
class TimingCell {
 public:
  void set(const Timing& timing) {
    if (value_) throw std::logic_error("timing is initialized exactly once");
    value_ = timing;
  }

  const Timing& get() const {
    if (!value_) throw std::logic_error("timing read before it was initialized");
    return *value_;
  }

 private:
  std::optional<Timing> value_;
};

// The blocks one run shares between its driver and its workers: a counter
// block per worker, the timing cell, the start gate and the stop flag. The
// driver owns it and destroys it only after every worker has been joined, so
// workers hold plain references into it and nothing about it is
// reference-counted.
//
// Memory ordering: `stop` is read relaxed by the workers. It is either set
// before the gate opens (a dismissal, published by the gate's mutex) or set
// to end a running loop, where seeing it a batch late costs nothing; the
// join that follows orders everything the worker wrote.
struct RunState {
  explicit RunState(std::uint32_t workers) : counters(workers) {}
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  std::vector<Counters> counters;  // one per worker, by index; never resized
  TimingCell timing;
  StartGate gate;
  std::atomic<bool> stop{false};
};

class Runtime;

// The one-shot work item of one worker: its index, its sending end of the
// readiness queue, and plain references to what the run driver owns and
// keeps alive until it has joined the worker (the runtime, the run state and
// the cancellation flag). Move-only; destroying it, run or not, releases its
// sending end.
struct WorkerTask {
  std::uint64_t index = 0;
  ReadySender ready;
  Runtime& runtime;
  RunState& run;
  const std::atomic<bool>& cancel;
};

// Definitions, here so that the run state is one file.

inline void StartGate::release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  opened_.notify_all();
}

inline void StartGate::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  opened_.wait(lock, [this] { return released_; });
}

}  // namespace truvello
