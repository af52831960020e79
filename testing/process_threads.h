#pragma once

// The threads of this process as the kernel lists them in /proc/self/task,
// to prove that runs leave none behind. The kernel may still list a thread
// for a moment after pthread_join has returned, until it has reaped it, so
// a single look right after a run can see a thread that is already gone: the
// settled_* readings wait for the count to reach what is expected, and their
// deadline only bounds a real leak, which still fails.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

namespace truvello::testing {

inline constexpr std::chrono::seconds kSettleDeadline{10};

// The number of threads in this process, or nullopt when /proc is unreadable.
std::optional<std::uint64_t> thread_count();

// The number after `field:` in /proc/self/status ("Threads", "VmRSS" in KiB),
// or nullopt when it is missing or not a number.
std::optional<std::uint64_t> status_number(std::string_view field);

// The thread count to come back to after runs. A process's first new thread
// may bring a sanitizer's helper thread with it, so one thread is started,
// joined and reaped before counting.
std::optional<std::uint64_t> baseline_thread_count();

// The thread count once it is `expected`, or the last count seen when the
// deadline passes first.
std::optional<std::uint64_t> settled_thread_count(std::uint64_t expected,
                                                  std::chrono::steady_clock::duration deadline = kSettleDeadline);

// Calls `visit` with the task id (the folder name under /proc/self/task) of
// every thread named as a worker ("truvello-<n>"), and with its name.
// Counting every thread would also count helpers a sanitizer runtime starts
// on its own. Reads with plain system calls and allocates nothing itself, so
// it may run inside a progress callback that measures memory.
void for_each_worker_thread(const std::function<void(const char* task_id, const char* name)>& visit);

// The number of threads named as workers.
int worker_threads();

// The worker count once it is `expected`, or the last count seen when the
// deadline passes first.
int settled_worker_threads(int expected, std::chrono::steady_clock::duration deadline = kSettleDeadline);

}  // namespace truvello::testing
