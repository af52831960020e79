#include "text/run_list.h"

#include <algorithm>
#include <vector>

namespace truvello::cli {

std::string run_list_text(std::span<const std::uint32_t> repeats) {
  std::vector<std::uint32_t> numbers(repeats.begin(), repeats.end());
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  if (numbers.empty()) return "";

  // Stretches of consecutive numbers; a stretch of three or more is a range,
  // a shorter one its numbers.
  std::vector<std::string> items;
  for (std::size_t first = 0; first < numbers.size();) {
    std::size_t last = first;
    while (last + 1 < numbers.size() && numbers[last + 1] == numbers[last] + 1) ++last;
    if (last - first >= 2) {
      items.push_back(std::to_string(numbers[first]) + "-" + std::to_string(numbers[last]));
    } else {
      for (std::size_t i = first; i <= last; ++i) items.push_back(std::to_string(numbers[i]));
    }
    first = last + 1;
  }
  std::string out = numbers.size() == 1 ? "run " : "runs ";
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? " and " : ", ";
    out += items[i];
  }
  return out;
}

}  // namespace truvello::cli
