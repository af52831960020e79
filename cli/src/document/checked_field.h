#pragma once

// A field of a saved document as the reader checks it: the JSON value with
// the pointer that leads to it, so that every refusal names the field
// ("/runs/0/samples/3/dt: must be greater than 0").

#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace truvello::cli::document_check {

using nlohmann::json;

// What is wrong and where; caught once, at the top of the
// reader (parse_export).
struct BadDocument {
  std::string pointer;
  std::string what;
};

[[noreturn]] inline void bad(const std::string& pointer, const std::string& what) { throw BadDocument{pointer, what}; }

// Keeps a message on one line of printable ASCII, whatever the bytes of the
// document or of the path were.
inline std::string printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte >= 0x20 && byte < 0x7f ? c : '?';
  }
  return out;
}

// A JSON value with the pointer that leads to it.
class Field {
 public:
  Field(const json& value, std::string pointer) : value_(value), pointer_(std::move(pointer)) {}

  const std::string& pointer() const { return pointer_; }
  bool is_null() const { return value_.is_null(); }

  Field operator[](const char* key) const {
    require_object();
    const auto it = value_.find(key);
    if (it == value_.end()) bad(pointer_ + "/" + key, "missing");
    return Field(*it, pointer_ + "/" + key);
  }
  std::optional<Field> optional(const char* key) const {
    require_object();
    const auto it = value_.find(key);
    if (it == value_.end()) return std::nullopt;
    return Field(*it, pointer_ + "/" + key);
  }
  Field at(std::size_t index) const { return Field(value_[index], pointer_ + "/" + std::to_string(index)); }

  void require_object() const {
    if (!value_.is_object()) bad(pointer_, "must be an object");
  }
  std::size_t array_size(std::size_t limit) const {
    if (!value_.is_array()) bad(pointer_, "must be an array");
    if (value_.size() > limit) bad(pointer_, "has more than " + std::to_string(limit) + " entries");
    return value_.size();
  }

  std::uint64_t whole(std::uint64_t max = std::numeric_limits<std::uint64_t>::max()) const {
    std::uint64_t v = 0;
    if (value_.is_number_unsigned()) {
      v = value_.get<std::uint64_t>();
    } else if (value_.is_number_integer() && value_.get<std::int64_t>() >= 0) {
      v = static_cast<std::uint64_t>(value_.get<std::int64_t>());
    } else if (value_.is_number_integer()) {
      bad(pointer_, "must not be negative");
    } else {
      bad(pointer_, "must be a whole number");
    }
    if (v > max) bad(pointer_, "must be at most " + std::to_string(max));
    return v;
  }
  std::uint32_t u32() const { return static_cast<std::uint32_t>(whole(std::numeric_limits<std::uint32_t>::max())); }
  std::uint32_t flag() const { return static_cast<std::uint32_t>(whole(1)); }

  // The writer turns figures that are not finite into null; they come back
  // as not-a-number, for the checks that need a finite figure to refuse.
  double number_or_null() const {
    if (value_.is_null()) return std::numeric_limits<double>::quiet_NaN();
    if (!value_.is_number()) bad(pointer_, "must be a number or null");
    return value_.get<double>();
  }
  double finite() const {
    if (value_.is_null()) bad(pointer_, "must be a finite number, not null");
    const double v = number_or_null();
    if (!std::isfinite(v)) bad(pointer_, "must be a finite number");
    return v;
  }

  bool boolean() const {
    if (!value_.is_boolean()) bad(pointer_, "must be true or false");
    return value_.get<bool>();
  }

  std::string text() const {
    if (!value_.is_string()) bad(pointer_, "must be a string");
    return value_.get<std::string>();
  }
  std::string text_or_null() const { return value_.is_null() ? std::string() : text(); }

 private:
  const json& value_;
  std::string pointer_;
};

// A figure that must be finite and not negative.
inline double non_negative(const Field& f) {
  const double v = f.finite();
  if (v < 0.0) bad(f.pointer(), "must not be negative");
  return v;
}

}  // namespace truvello::cli::document_check
