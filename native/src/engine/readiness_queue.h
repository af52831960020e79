#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "value_or_error.h"

namespace truvello {

// An entry: the empty success of a worker whose kernel is built, or the
// kernel's error message.
using Readiness = ValueOrError<Unit>;

// An unbounded multi-producer, single-consumer queue of readiness entries.
//
// Call-count rules: each ReadySender is move-only and counts as one sending
// end until it is destroyed or released; `clone` adds one. The one
// ReadyReceiver may receive any number of times.
//
// Memory ordering: all state sits under one mutex, so an entry and
// everything its sender wrote before sending happen-before its receipt.
//
// Disconnection: once the queue is empty and every sending end is gone
// (including the end owned by a worker that ended by exception, released as
// its task unwinds), `receive` reports it instead of blocking forever.
class ReadinessQueue {
 public:
  class Sender;
  class Receiver;

  // A new queue with one sending end and its only receiving end.
  static std::pair<Sender, Receiver> make();

 private:
  struct State {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Readiness> entries;  // guarded by mutex
    std::size_t senders = 0;        // guarded by mutex
    bool receiver_alive = true;     // guarded by mutex
  };

 public:
  class Sender {
   public:
    Sender(Sender&& other) noexcept = default;
    Sender& operator=(Sender&& other) noexcept;
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    ~Sender() { release(); }

    // Another sending end of the same queue.
    Sender clone() const;

    // Never blocks. With the receiver gone the entry is dropped silently.
    void send(Readiness entry);

    // Gives up this sending end now (destruction does the same).
    void release();

   private:
    friend class ReadinessQueue;
    explicit Sender(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
  };

  class Receiver {
   public:
    Receiver(Receiver&&) noexcept = default;
    Receiver& operator=(Receiver&&) = delete;
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver();

    // Blocks without a time limit until an entry arrives; no value means
    // disconnected.
    std::optional<Readiness> receive();

   private:
    friend class ReadinessQueue;
    explicit Receiver(std::shared_ptr<State> state) : state_(std::move(state)) {}
    std::shared_ptr<State> state_;
  };
};

using ReadySender = ReadinessQueue::Sender;
using ReadyReceiver = ReadinessQueue::Receiver;

// `text` between double quotes with debug escaping: a backslash before `"`
// and `\`, tab, CR and LF as \t, \r and \n, other control characters as
// \u{hex}.
std::string debug_quoted(std::string_view text);

// How a failed handshake receive reads in a failure reason: Ok(Err("...")) for
// a worker's error message, Err(RecvError) for a disconnected queue.
std::string debug_rendering(const std::optional<Readiness>& received);

}  // namespace truvello
