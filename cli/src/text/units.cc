#include "text/units.h"

#include <fmt/format.h>
#include <array>
#include <charconv>
#include <cmath>

namespace truvello::cli {

namespace {

// Four significant digits of a value in [1, 1000) or of a small value.
std::string four_digits(double value) {
  const double magnitude = std::fabs(value);
  // The thresholds sit where rounding would add a fifth digit.
  if (magnitude >= 99.995) return fmt::format("{:.1f}", value);
  if (magnitude >= 9.9995) return fmt::format("{:.2f}", value);
  return fmt::format("{:.3f}", value);
}

}  // namespace

std::string si_number(double value) {
  if (!std::isfinite(value)) return "n/a";
  static constexpr std::array<const char*, 6> kPrefixes = {"", " k", " M", " G", " T", " P"};
  double scaled = value;
  std::size_t prefix = 0;
  // Round first, then pick the prefix, so that 999,999 reads "1.000 M"
  // rather than "1000.0 k".
  while (prefix + 1 < kPrefixes.size() && std::fabs(scaled) >= 999.95) {
    scaled /= 1000.0;
    ++prefix;
  }
  if (value == 0.0) return "0";
  return four_digits(scaled) + kPrefixes[prefix];
}

std::string rate_text(double ops_per_second) { return si_number(ops_per_second) + " ops/s"; }

std::string grouped(std::uint64_t count) {
  std::string digits = std::to_string(count);
  std::string out;
  out.reserve(digits.size() + digits.size() / 3);
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

std::string seconds_text(double seconds) {
  if (!std::isfinite(seconds)) return "n/a";
  return fmt::format("{:.3f} s", seconds);
}

std::string length_text(double seconds) {
  if (!std::isfinite(seconds)) return exact_number(seconds) + " s";
  return fmt::format("{:g} s", seconds);
}

std::string clock_text(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0.0) return "-:--";
  const auto whole = static_cast<std::uint64_t>(std::llround(std::floor(seconds)));
  const std::uint64_t h = whole / 3600;
  const std::uint64_t m = (whole / 60) % 60;
  const std::uint64_t s = whole % 60;
  if (h > 0) return fmt::format("{}:{:02}:{:02}", h, m, s);
  return fmt::format("{}:{:02}", m, s);
}

std::string percent_text(double percent) {
  if (!std::isfinite(percent)) return "n/a";
  const double magnitude = std::fabs(percent);
  if (magnitude >= 99.95) return fmt::format("{:.0f} %", percent);
  if (magnitude >= 9.995) return fmt::format("{:.1f} %", percent);
  return fmt::format("{:.2f} %", percent);
}

std::string signed_percent(double percent) {
  // Appended, not '+': g++ 12 misreads a literal plus a string as an
  // overlapping copy (-Wrestrict).
  std::string text = percent > 0.0 ? "+" : percent < 0.0 ? "-" : "";
  return text += percent_text(std::fabs(percent));
}

std::string off_text(double off_percent) {
  return percent_text(std::fabs(off_percent)) + (off_percent < 0.0 ? " below" : " above");
}

std::string hex64(std::uint64_t value) { return fmt::format("0x{:016x}", value); }

std::string exact_number(double value) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  std::array<char, 32> buffer{};
  const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace truvello::cli
