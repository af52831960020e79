#include "statistics/ab_order.h"

#include <random>

namespace truvello::cli {

std::string ab_order(std::uint32_t seed, std::size_t pairs) {
  // The standard fixes mt19937's sequence, unlike the distributions'.
  std::mt19937 bits(seed);
  const char* block = (bits() & 1u) == 0u ? "ABBA" : "BAAB";
  std::string order;
  while (order.size() < 2 * pairs) order += block;
  order.resize(2 * pairs);
  return order;
}

}  // namespace truvello::cli
