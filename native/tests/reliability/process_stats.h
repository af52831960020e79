#pragma once

// What the kernel says about this process: its threads and its resident
// memory, read from /proc. Used to prove that runs leave nothing behind.
#include <cstdint>
#include <optional>

namespace truvello::reliability {

// The number of threads in this process, or nullopt when /proc is unreadable.
std::optional<std::uint64_t> thread_count();

// The thread count to come back to after runs. A process's first new thread
// may bring a sanitizer's helper thread with it, so one thread is started,
// joined and reaped before counting.
std::optional<std::uint64_t> baseline_thread_count();

// Resident set size in KiB, or nullopt when /proc is unreadable.
std::optional<std::uint64_t> resident_kib();

// A joined thread leaves the process's thread list a moment after the join
// returns, once the kernel has reaped it. Waits until the count is back at
// `expected` or the bounded grace period is over, and returns the last count
// seen. The wait only absorbs reaping; it never makes a leak pass.
std::optional<std::uint64_t> settled_thread_count(std::uint64_t expected);

}  // namespace truvello::reliability
