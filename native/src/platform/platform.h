#pragma once

// What the engine needs from the operating system, one source file per OS
// (platform_posix.cc, platform_windows.cc; the build picks one). Nothing
// outside these files names an OS interface.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "value_or_error.h"

namespace truvello {

// The error of a failed platform call: an OS error number or a fixed message.
// Part of this layer, since only the OS knows how to describe its numbers.
class PlatformError {
 public:
  static PlatformError os(int code) { return PlatformError(code, nullptr); }
  static PlatformError unknown_cpu_count() {
    return PlatformError(0, "the number of hardware threads is not known for the target platform");
  }
  static PlatformError invalid_stack_size() { return PlatformError(0, "invalid stack size"); }

  // The text that failure reasons carry: "<OS description> (os error N)" for
  // an OS error, the fixed message otherwise.
  std::string display() const;

 private:
  PlatformError(int code, const char* message) : code_(code), message_(message) {}

  int code_;
  const char* message_;  // static text, or null for an OS error
};

}  // namespace truvello

namespace truvello::platform {

// The number of CPUs to run one worker on each: every online CPU, on Windows
// those of every processor group.
ValueOrError<std::uint32_t, PlatformError> cpu_count();

// A reading of a monotonic clock that stands still while the machine sleeps,
// so that a suspended run does not count the suspension as measured time.
struct ClockReading {
  std::int64_t secs;
  std::uint32_t nanos;  // 0 to 999,999,999
};
ClockReading monotonic_now();

// Suspends the calling thread for at least about `secs` + `nanos`.
void sleep_for(std::uint64_t secs, std::uint32_t nanos);

// "<the OS's description> (os error N)" for the OS error number `code`, as
// the OS reports it (errno values on POSIX, GetLastError values on Windows).
std::string os_error_text(int code);

// What a started thread runs: returns false when it ended abnormally.
using ThreadBody = bool (*)(void* context);

// One started thread, owned: move-only, joined at the latest on destruction.
class Thread {
 public:
  // Starts body(context) on a new thread with a stack of `stack_size` bytes
  // (rounded as the OS requires), named `name` where the OS keeps thread names
  // (cut to what it keeps; an OS that cannot name threads leaves it unnamed).
  // `index` is the worker's index: on a machine whose CPUs form several groups
  // it picks the group the thread runs in. On failure the body has not run
  // and the caller still owns `context`.
  static ValueOrError<Thread, PlatformError> start(std::uint64_t index, const std::string& name, std::size_t stack_size,
                                                   ThreadBody body, void* context);

  Thread(Thread&&) noexcept;
  Thread& operator=(Thread&&) = delete;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread();

  // Waits until the thread has ended; true when its body ended normally.
  // After the first call, returns true at once.
  bool join();

  struct State;  // per OS

 private:
  explicit Thread(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace truvello::platform

namespace truvello {

inline std::string PlatformError::display() const {
  if (message_ != nullptr) return message_;
  return platform::os_error_text(code_);
}

}  // namespace truvello
