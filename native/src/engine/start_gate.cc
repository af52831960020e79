#include "start_gate.h"

namespace truvello {

void StartGate::release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
  }
  opened_.notify_all();
}

void StartGate::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  opened_.wait(lock, [this] { return released_; });
}

}  // namespace truvello
