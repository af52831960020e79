#pragma once

#include <string>
#include <utility>
#include <variant>

namespace truvello {

// What the workload's construction gives back: the value built, or the
// message of the step that failed. The workload keeps its own result type so
// that it depends on nothing but the standard library; the run engine turns
// a failure into its own error, message unchanged.
template <typename T>
class Fallible {
 public:
  Fallible(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit by design

  static Fallible failure(std::string message) { return Fallible(std::in_place_index<1>, std::move(message)); }

  bool ok() const { return v_.index() == 0; }
  T& value() & { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  const std::string& message() const { return std::get<1>(v_); }

 private:
  template <std::size_t I, typename A>
  Fallible(std::in_place_index_t<I> i, A&& a) : v_(i, std::forward<A>(a)) {}

  std::variant<T, std::string> v_;
};

}  // namespace truvello
