#include "process_threads.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace truvello::testing {
namespace {

// Reads a value until it equals `expected` or the deadline passes; returns
// the last value read. Polls: the kernel announces no reaping.
template <class Read, class Value>
auto settled(Read read, const Value& expected, std::chrono::steady_clock::duration deadline) {
  const auto give_up = std::chrono::steady_clock::now() + deadline;
  auto value = read();
  while (!(value == expected) && std::chrono::steady_clock::now() < give_up) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    value = read();
  }
  return value;
}

// A thread's name from its comm file, without the newline; false when the
// thread is gone or the file unreadable.
bool read_comm(const char* task_id, char* name, std::size_t size) {
  char path[300];
  std::snprintf(path, sizeof path, "/proc/self/task/%s/comm", task_id);
  const int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const ssize_t n = read(fd, name, size - 1);
  close(fd);
  if (n <= 0) return false;
  name[n] = '\0';
  if (char* newline = std::strchr(name, '\n')) *newline = '\0';
  return true;
}

}  // namespace

std::optional<std::uint64_t> status_number(std::string_view field) {
  std::ifstream status("/proc/self/status");
  const std::string prefix = std::string(field) + ":";
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

std::optional<std::uint64_t> thread_count() { return status_number("Threads"); }

std::optional<std::uint64_t> baseline_thread_count() {
  long tid = 0;
  std::thread([&tid] { tid = syscall(SYS_gettid); }).join();
  const std::string task = "/proc/self/task/" + std::to_string(tid);
  settled([&] { return access(task.c_str(), F_OK) == 0; }, false, kSettleDeadline);
  return thread_count();
}

std::optional<std::uint64_t> settled_thread_count(std::uint64_t expected,
                                                  std::chrono::steady_clock::duration deadline) {
  return settled(&thread_count, std::optional<std::uint64_t>(expected), deadline);
}

void for_each_worker_thread(const std::function<void(const char* task_id, const char* name)>& visit) {
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    char name[32];
    if (read_comm(entry->d_name, name, sizeof name) && std::strncmp(name, "truvello-", 9) == 0) {
      visit(entry->d_name, name);
    }
  }
  closedir(tasks);
}

int worker_threads() {
  int n = 0;
  for_each_worker_thread([&n](const char*, const char*) { ++n; });
  return n;
}

int settled_worker_threads(int expected, std::chrono::steady_clock::duration deadline) {
  return settled(&worker_threads, expected, deadline);
}

}  // namespace truvello::testing
