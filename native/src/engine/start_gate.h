#pragma once

#include <condition_variable>
#include <mutex>

namespace truvello {

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

}  // namespace truvello
