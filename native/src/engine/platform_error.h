#pragma once

#include <string>

namespace truvello {

// The error of a failed platform call: an OS error number or a fixed message.
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
