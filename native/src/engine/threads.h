#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "platform.h"

namespace truvello {

// A one-shot, move-only, type-erased callable without arguments or result:
// the work a started thread runs. Destroying it unrun releases whatever it
// captured.
class WorkItem {
 public:
  template <typename F>
  explicit WorkItem(F f) : impl_(std::make_unique<Model<F>>(std::move(f))) {}

  // Runs the work; call at most once.
  void run() { impl_->run(); }

 private:
  struct Concept {
    virtual ~Concept() = default;
    virtual void run() = 0;
  };
  template <typename F>
  struct Model final : Concept {
    explicit Model(F f) : f(std::move(f)) {}
    void run() override { std::move(f)(); }
    F f;
  };

  std::unique_ptr<Concept> impl_;
};

// The handle of one started thread. Joining tells whether the thread's work
// item completed normally or terminated abnormally (an exception escaped it;
// the payload is dropped at the thread's top level and never leaves it).
// A handle is never destroyed unjoined: the destructor joins if needed.
class JoinHandle {
 public:
  enum class Outcome { kNormal, kAbnormal };

  explicit JoinHandle(platform::Thread thread) : thread_(std::move(thread)) {}
  JoinHandle(JoinHandle&&) noexcept = default;
  JoinHandle& operator=(JoinHandle&&) = delete;
  JoinHandle(const JoinHandle&) = delete;
  JoinHandle& operator=(const JoinHandle&) = delete;
  ~JoinHandle() = default;  // the thread joins itself

  // Waits until the thread has ended. Call at most once.
  Outcome join() { return thread_.join() ? Outcome::kNormal : Outcome::kAbnormal; }

 private:
  platform::Thread thread_;
};

// The started worker threads of one run, in index order. No worker outlives
// it: destruction sets the stop flag, then joins every handle still held,
// discarding the outcomes.
class Workers {
 public:
  explicit Workers(std::atomic<bool>& stop) : stop_(stop) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers();

  // Makes room for `count` handles. Call before the first thread starts.
  void reserve(std::size_t count) { handles_.reserve(count); }

  // Keeps the handle of a started thread. Cannot fail while the count of
  // handles stays within what `reserve` made room for.
  void add(JoinHandle handle) { handles_.push_back(std::move(handle)); }

  // Takes every handle out and joins them in order, each to completion.
  // Returns true when any worker terminated abnormally.
  bool join_all();

 private:
  std::vector<JoinHandle> handles_;
  std::atomic<bool>& stop_;  // the run state's, which outlives the workers
};

// Definitions, here so that the threads are one file.

inline bool Workers::join_all() {
  std::vector<JoinHandle> handles = std::move(handles_);
  handles_.clear();
  bool panicked = false;
  for (JoinHandle& handle : handles) {
    if (handle.join() == JoinHandle::Outcome::kAbnormal) panicked = true;
  }
  return panicked;
}

inline Workers::~Workers() {
  stop_.store(true, std::memory_order_relaxed);
  join_all();
}

}  // namespace truvello
