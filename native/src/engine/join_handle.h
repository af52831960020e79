#pragma once

#include <pthread.h>

namespace truvello {

// The handle of one started thread. Joining tells whether the thread's work
// item completed normally or terminated abnormally (an exception escaped it;
// the payload is dropped at the thread's top level and never leaves it).
// A handle is never destroyed unjoined: the destructor joins if needed.
class JoinHandle {
 public:
  enum class Outcome { kNormal, kAbnormal };

  explicit JoinHandle(pthread_t thread) : thread_(thread), joinable_(true) {}
  JoinHandle(JoinHandle&& other) noexcept : thread_(other.thread_), joinable_(other.joinable_) {
    other.joinable_ = false;
  }
  JoinHandle& operator=(JoinHandle&&) = delete;
  JoinHandle(const JoinHandle&) = delete;
  JoinHandle& operator=(const JoinHandle&) = delete;
  ~JoinHandle();

  // Waits until the thread has ended. Call at most once.
  Outcome join();

  // What a thread's start routine returns for each outcome.
  static void* exit_value(Outcome outcome);

 private:
  pthread_t thread_;
  bool joinable_;
};

}  // namespace truvello
