#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "platform.h"

namespace truvello {

inline constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

// A length of time: whole seconds plus nanoseconds (0 to 999,999,999).
struct Duration {
  std::uint64_t secs = 0;
  std::uint32_t nanos = 0;

  bool is_zero() const { return secs == 0 && nanos == 0; }

  // The one rule by which a duration becomes f64 seconds everywhere: the
  // seconds as f64 (rounded to nearest) plus the nanoseconds divided by 1e9.
  double as_seconds() const { return static_cast<double>(secs) + static_cast<double>(nanos) / 1e9; }

  // The length in whole nanoseconds, or the largest u64 when it does not fit.
  std::uint64_t saturating_nanos() const;

  friend bool operator==(const Duration&, const Duration&) = default;
};

// A reading of the monotonic clock: signed seconds plus nanoseconds.
struct Instant {
  std::int64_t secs = 0;
  std::uint32_t nanos = 0;

  // The platform's monotonic clock, which does not advance while the machine
  // is suspended.
  static Instant now();

  // Overflow-checked: no result when the sum's seconds do not fit in i64.
  std::optional<Instant> checked_add(Duration d) const;

  // The length from `earlier` to this instant; zero when `earlier` is later.
  Duration saturating_since(Instant earlier) const;

  friend auto operator<=>(const Instant&, const Instant&) = default;
};

// The three instants of a run: the release of the workers, the end of the
// warm-up (start of measurement) and the end of measurement.
struct Timing {
  Instant start;
  Instant warm_end;
  Instant end;
};

// Debug rendering listing start, warm_end and end in this order.
std::string to_string(const Timing& timing);

// Definitions, here so that the clock is one file.

inline std::uint64_t Duration::saturating_nanos() const {
  std::uint64_t ns = 0;
  if (__builtin_mul_overflow(secs, kNanosPerSecond, &ns) || __builtin_add_overflow(ns, nanos, &ns)) {
    return std::numeric_limits<std::uint64_t>::max();
  }
  return ns;
}

inline Instant Instant::now() {
  const platform::ClockReading reading = platform::monotonic_now();
  return Instant{reading.secs, reading.nanos};
}

inline std::optional<Instant> Instant::checked_add(Duration d) const {
  std::uint32_t nanos = this->nanos + d.nanos;
  std::uint64_t carry = 0;
  if (nanos >= 1'000'000'000u) {
    nanos -= 1'000'000'000u;
    carry = 1;
  }
  // Exact in 128 bits, then checked against the i64 range.
  const __int128 secs = static_cast<__int128>(this->secs) + d.secs + carry;
  if (secs > INT64_MAX || secs < INT64_MIN) return std::nullopt;
  return Instant{static_cast<std::int64_t>(secs), nanos};
}

inline Duration Instant::saturating_since(Instant earlier) const {
  if (*this <= earlier) return Duration{};
  // Differences of two i64 values fit in u64.
  std::uint64_t secs = static_cast<std::uint64_t>(this->secs) - static_cast<std::uint64_t>(earlier.secs);
  std::uint32_t nanos = 0;
  if (this->nanos >= earlier.nanos) {
    nanos = this->nanos - earlier.nanos;
  } else {
    secs -= 1;
    nanos = this->nanos + 1'000'000'000u - earlier.nanos;
  }
  return Duration{secs, nanos};
}

namespace detail {

inline std::string render(const Instant& i) {
  return "Instant { secs: " + std::to_string(i.secs) + ", nanos: " + std::to_string(i.nanos) + " }";
}

}  // namespace detail

inline std::string to_string(const Timing& timing) {
  return "Timing { start: " + detail::render(timing.start) + ", warm_end: " + detail::render(timing.warm_end) +
         ", end: " + detail::render(timing.end) + " }";
}

}  // namespace truvello
