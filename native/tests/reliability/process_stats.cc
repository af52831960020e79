#include "process_stats.h"

#include <fstream>
#include <string>

namespace truvello::reliability {

std::optional<std::uint64_t> resident_kib() {
  std::ifstream status("/proc/self/status");
  const std::string prefix = "VmRSS:";
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    try {
      return std::stoull(line.substr(prefix.size()));
    } catch (...) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace truvello::reliability
