#pragma once

#include <cstdint>

namespace truvello {

// A length of time: whole seconds plus nanoseconds (0 to 999,999,999).
struct Duration {
  std::uint64_t secs = 0;
  std::uint32_t nanos = 0;

  bool is_zero() const { return secs == 0 && nanos == 0; }

  // The one rule by which a duration becomes f64 seconds everywhere: the
  // seconds as f64 (rounded to nearest) plus the nanoseconds divided by 1e9.
  double as_seconds() const { return static_cast<double>(secs) + static_cast<double>(nanos) / 1e9; }

  friend bool operator==(const Duration&, const Duration&) = default;
};

}  // namespace truvello
