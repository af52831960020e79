#pragma once

#include <string>
#include <utility>
#include <variant>

namespace truvello {

// The result of a fallible internal operation: either a value or an error,
// by default an owned message text. Failures inside the library travel as
// these, never as exceptions; exceptions are reserved for abnormal
// termination.
template <typename T, typename E = std::string>
class ValueOrError {
 public:
  ValueOrError(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design

  static ValueOrError error(E message) { return ValueOrError(std::in_place_index<1>, std::move(message)); }

  bool ok() const { return v_.index() == 0; }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const E& message() const { return std::get<1>(v_); }

 private:
  template <std::size_t I, typename A>
  ValueOrError(std::in_place_index_t<I> i, A&& a) : v_(i, std::forward<A>(a)) {}

  std::variant<T, E> v_;
};

// The empty success of operations that produce no value.
struct Unit {};

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

// Defined by the platform layer (platform/platform_*.cc): "<the OS's
// description> (os error N)".
namespace platform {
std::string os_error_text(int code);
}

inline std::string PlatformError::display() const {
  if (message_ != nullptr) return message_;
  return platform::os_error_text(code_);
}

}  // namespace truvello
