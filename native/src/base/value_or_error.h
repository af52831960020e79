#pragma once

#include <string>
#include <utility>
#include <variant>

namespace truvello {

// The result of a fallible internal operation: either a value or an error,
// by default an owned message text. Failures inside the library travel as
// these, never as exceptions; exceptions are reserved for abnormal
// termination. It sits below every other layer and needs nothing but the
// standard library, so that the workload, the platform layer and the engine
// all hand their failures on in the same form, message unchanged.
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

}  // namespace truvello
