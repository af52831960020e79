#pragma once

// What the kernel says about this process's memory, read from /proc. Used to
// prove that runs leave nothing behind; its threads are counted by the
// shared test support (process_threads.h).
#include <cstdint>
#include <optional>

namespace truvello::reliability {

// Resident set size in KiB, or nullopt when /proc is unreadable.
std::optional<std::uint64_t> resident_kib();

}  // namespace truvello::reliability
