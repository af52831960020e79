#include "run_lengths.h"

#include <bit>
#include <cstdint>

namespace truvello {

namespace {

constexpr const char kBadDurations[] = "durations must be finite: warmup >= 0, measurement > 0";
constexpr const char kMeasurementZero[] = "measurement duration must be positive";

// A finite, non-negative double as mantissa * 2^exponent, with both integers
// exact.
struct Binary {
  std::uint64_t mantissa;
  int exponent;
};

// nullopt for NaN, infinities and negative values other than -0.0.
std::optional<Binary> decode_non_negative(double seconds) {
  const auto bits = std::bit_cast<std::uint64_t>(seconds);
  const bool negative = (bits >> 63) != 0;
  const auto biased = static_cast<int>((bits >> 52) & 0x7ff);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  if (biased == 0x7ff) return std::nullopt;               // NaN or infinity
  if (biased == 0 && fraction == 0) return Binary{0, 0};  // +0.0 and -0.0
  if (negative) return std::nullopt;
  if (biased == 0) return Binary{fraction, -1074};  // subnormal
  return Binary{fraction | (std::uint64_t{1} << 52), biased - 1075};
}

// The nanoseconds nearest to `numerator` / 2^shift seconds (a value below one
// second), ties to even; may give exactly one second.
std::uint64_t round_to_nanos(std::uint64_t numerator, int shift) {
  // numerator < 2^53 and 1e9 < 2^30, so the product fits in 83 bits; for
  // shifts of 84 and more it is below half of 2^shift and rounds to zero.
  if (shift >= 84) return 0;
  const unsigned __int128 scaled = static_cast<unsigned __int128>(numerator) * kNanosPerSecond;
  const unsigned __int128 one = 1;
  std::uint64_t nanos = static_cast<std::uint64_t>(scaled >> shift);
  const unsigned __int128 rest = scaled & ((one << shift) - 1);
  const unsigned __int128 half = one << (shift - 1);
  if (rest > half || (rest == half && (nanos & 1) != 0)) ++nanos;
  return nanos;
}

std::optional<Duration> from_binary(Binary value) {
  if (value.exponent >= 0) {
    // A whole number of seconds: it must stay below 2^64.
    if (value.exponent >= 64) return std::nullopt;
    const unsigned __int128 secs = static_cast<unsigned __int128>(value.mantissa) << value.exponent;
    if ((secs >> 64) != 0) return std::nullopt;
    return Duration{static_cast<std::uint64_t>(secs), 0};
  }
  const int shift = -value.exponent;
  std::uint64_t secs = 0;
  std::uint64_t fraction = value.mantissa;
  if (shift < 64) {
    secs = value.mantissa >> shift;
    fraction = value.mantissa & ((std::uint64_t{1} << shift) - 1);
  }
  std::uint64_t nanos = round_to_nanos(fraction, shift);
  if (nanos == kNanosPerSecond) {
    // secs < 2^53 here, so the carry cannot overflow.
    ++secs;
    nanos = 0;
  }
  return Duration{secs, static_cast<std::uint32_t>(nanos)};
}

}  // namespace

std::optional<Duration> duration_from_seconds(double seconds) {
  const auto binary = decode_non_negative(seconds);
  if (!binary) return std::nullopt;
  return from_binary(*binary);
}

ValueOrError<RunLengths, const char*> RunLengths::from_seconds(double warmup_seconds, double measurement_seconds) {
  using Made = ValueOrError<RunLengths, const char*>;
  const auto warmup = duration_from_seconds(warmup_seconds);
  const auto measurement = duration_from_seconds(measurement_seconds);
  // The comparison is made on the double itself, so that -0.0 and NaN fail it
  // whatever they convert to.
  if (!warmup || !measurement || !(measurement_seconds > 0.0)) return Made::error(kBadDurations);
  // A positive value below half a nanosecond: the clock could not run it, and
  // the host is told so in words of its own rather than as a bad value.
  if (measurement->is_zero()) return Made::error(kMeasurementZero);
  return RunLengths(warmup_seconds, measurement_seconds, *warmup, *measurement);
}

}  // namespace truvello
