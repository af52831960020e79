#pragma once

// A second opinion on turning seconds into a duration, built differently from
// the library's conversion on purpose: the double is decoded with frexp rather
// than by picking its bits apart, and the whole value is rounded to a count of
// nanoseconds in one step before it is split into seconds, instead of
// splitting first and rounding only the fraction. Both are exact, so they must
// agree on every double; a disagreement is a fault in one of them.
#include <cmath>
#include <cstdint>
#include <optional>

#include "clock.h"

namespace truvello::fuzz {

inline constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

// The nearest integer to numerator / 2^shift, ties to even.
inline unsigned __int128 divide_by_power_of_two(unsigned __int128 numerator, int shift) {
  if (shift == 0) return numerator;
  // numerator < 2^83 here: from 2^84 on the quotient is below one half.
  if (shift >= 100) return 0;
  const unsigned __int128 one = 1;
  const unsigned __int128 quotient = numerator >> shift;
  const unsigned __int128 remainder = numerator - (quotient << shift);
  const unsigned __int128 half = one << (shift - 1);
  const bool odd = (quotient & 1) != 0;
  return remainder > half || (remainder == half && odd) ? quotient + 1 : quotient;
}

inline std::optional<Duration> model_duration(double seconds) {
  if (std::isnan(seconds) || std::isinf(seconds) || seconds < 0.0) return std::nullopt;
  if (seconds >= 0x1p64) return std::nullopt;
  if (seconds == 0.0) return Duration{0, 0};

  // seconds = mantissa * 2^exponent, mantissa an integer below 2^53.
  int binary_exponent = 0;
  const double fraction = std::frexp(seconds, &binary_exponent);
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  const int exponent = binary_exponent - 53;

  if (exponent >= 0) {
    // Below 2^64 and without a fraction: the seconds are exact.
    const unsigned __int128 whole = static_cast<unsigned __int128>(mantissa) << exponent;
    return Duration{static_cast<std::uint64_t>(whole), 0};
  }
  const unsigned __int128 nanos =
      divide_by_power_of_two(static_cast<unsigned __int128>(mantissa) * kNanosPerSecond, -exponent);
  return Duration{static_cast<std::uint64_t>(nanos / kNanosPerSecond),
                  static_cast<std::uint32_t>(nanos % kNanosPerSecond)};
}

}  // namespace truvello::fuzz
