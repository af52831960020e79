#include "workers.h"

namespace truvello {

bool Workers::join_all() {
  std::vector<JoinHandle> handles = std::move(handles_);
  handles_.clear();
  bool panicked = false;
  for (JoinHandle& handle : handles) {
    if (handle.join() == JoinHandle::Outcome::kAbnormal) panicked = true;
  }
  return panicked;
}

Workers::~Workers() {
  stop_.store(true, std::memory_order_relaxed);
  join_all();
}

}  // namespace truvello
