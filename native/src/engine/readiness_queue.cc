#include "readiness_queue.h"

namespace truvello {

std::pair<ReadySender, ReadyReceiver> ReadinessQueue::make() {
  auto state = std::make_shared<State>();
  state->senders = 1;
  return {Sender(state), Receiver(state)};
}

ReadySender& ReadySender::operator=(Sender&& other) noexcept {
  if (this != &other) {
    release();
    state_ = std::move(other.state_);
  }
  return *this;
}

ReadySender ReadySender::clone() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  ++state_->senders;
  return Sender(state_);
}

void ReadySender::send(Readiness entry) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  if (!state_->receiver_alive) return;
  state_->entries.push_back(std::move(entry));
  state_->changed.notify_one();
}

void ReadySender::release() {
  if (!state_) return;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    --state_->senders;
    if (state_->senders == 0) state_->changed.notify_one();
  }
  state_.reset();
}

ReadyReceiver::~Receiver() {
  if (!state_) return;
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->receiver_alive = false;
  state_->entries.clear();
}

std::optional<Readiness> ReadyReceiver::receive() {
  std::unique_lock<std::mutex> lock(state_->mutex);
  state_->changed.wait(lock, [this] { return !state_->entries.empty() || state_->senders == 0; });
  if (state_->entries.empty()) return std::nullopt;
  Readiness entry = std::move(state_->entries.front());
  state_->entries.pop_front();
  return entry;
}

}  // namespace truvello
