#include "process_stats.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace truvello::reliability {
namespace {

// The value of a "Name:   value ..." line of /proc/self/status.
std::optional<std::uint64_t> status_field(const std::string& name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::string prefix = name + ":";
  while (std::getline(status, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    try {
      return std::stoull(line.substr(prefix.size()));
    } catch (...) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::uint64_t> thread_count() { return status_field("Threads"); }

std::optional<std::uint64_t> baseline_thread_count() {
  long tid = 0;
  std::thread([&tid] { tid = syscall(SYS_gettid); }).join();
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (access(task.c_str(), F_OK) == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return thread_count();
}

std::optional<std::uint64_t> resident_kib() { return status_field("VmRSS"); }

std::optional<std::uint64_t> settled_thread_count(std::uint64_t expected) {
  constexpr auto kGrace = std::chrono::seconds(10);
  const auto deadline = std::chrono::steady_clock::now() + kGrace;
  auto count = thread_count();
  while (count && *count != expected && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = thread_count();
  }
  return count;
}

}  // namespace truvello::reliability
