#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

#include "join_handle.h"

namespace truvello {

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

}  // namespace truvello
