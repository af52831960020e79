#pragma once

#include <cmath>
#include <cstdint>
#include <random>

namespace truvello::cli::testing {

// Normal deviates by Box-Muller over the 64-bit Mersenne twister, whose
// sequence the standard fixes: the same draws under every compiler and
// standard library, so that a statistical test's figures never change.
class SeededNormal {
 public:
  explicit SeededNormal(std::uint64_t seed) : bits_(seed) {}
  double operator()() {
    const double u1 = (static_cast<double>(bits_() >> 11) + 1.0) * 0x1p-53;  // (0, 1]
    const double u2 = static_cast<double>(bits_() >> 11) * 0x1p-53;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * M_PI * u2);
  }

 private:
  std::mt19937_64 bits_;
};

}  // namespace truvello::cli::testing
