#include "readiness_queue.h"

#include <cstdio>

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

std::string debug_quoted(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escape[12];
          std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string debug_rendering(const std::optional<Readiness>& received) {
  if (!received) return "Err(RecvError)";
  if (received->ok()) return "Ok(Ok(()))";
  return "Ok(Err(" + debug_quoted(received->message()) + "))";
}

}  // namespace truvello
