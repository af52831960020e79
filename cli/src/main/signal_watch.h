#pragma once

#include <mutex>
#include <thread>

#include "truvello.h"

namespace truvello::cli {

// Turns SIGINT and SIGTERM into a cancellation of the current run. The
// handler only records the first signal in an atomic; a watcher thread sees
// it and calls truvello_cancel, which a signal handler must not. A second
// signal of the same kind ends the process the ordinary way.
class SignalWatch {
 public:
  SignalWatch();
  ~SignalWatch();
  SignalWatch(const SignalWatch&) = delete;
  SignalWatch& operator=(const SignalWatch&) = delete;

  // The first signal received, or 0.
  static int received();

  // Keeps the handle's run cancellable until the attachment ends; a handle
  // attached after a signal is cancelled at once.
  class Attachment {
   public:
    Attachment(SignalWatch& watch, truvello_handle* handle);
    ~Attachment();
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

   private:
    SignalWatch& watch_;
  };

 private:
  void watch(std::stop_token stop);
  void cancel_current();

  std::mutex mutex_;
  truvello_handle* current_ = nullptr;  // guarded by mutex_
  std::jthread watcher_;                // last: started once the rest exists
};

}  // namespace truvello::cli
