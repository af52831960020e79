#pragma once

// Parsers for what the OS kernel publishes about one thread
// (/proc/self/task/<tid>/...) and about the core types of a hybrid machine.
// They take the text, not the file, and allocate nothing but their result:
// the worker watch calls them several times a second while a run measures.
// Text that is not what the OS kernel writes gives absent, never a figure.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace truvello::cli {

// schedstat: "run_ns wait_ns timeslices", the time the thread spent on a
// CPU, the time it was ready to run but waited for one, and how many times
// it was given a CPU.
struct SchedStat {
  std::uint64_t run_ns = 0;
  std::uint64_t wait_ns = 0;
  std::uint64_t timeslices = 0;
};
std::optional<SchedStat> parse_schedstat(std::string_view text);

// stat: "tid (name) state ppid ...". The name may hold spaces and
// parentheses, so the fields are counted from the last ')'.
struct TaskStat {
  unsigned processor = 0;       // field 39: the CPU it ran on last
  std::uint64_t cpu_ticks = 0;  // fields 14 and 15, user + system time, in clock ticks
};
std::optional<TaskStat> parse_task_stat(std::string_view text);

// status: the "nonvoluntary_ctxt_switches:" line, the times the scheduler
// took the thread's CPU away while it still had work.
std::optional<std::uint64_t> parse_involuntary_switches(std::string_view status);

// The index of a worker thread from its name (comm, newline allowed):
// "truvello-3" gives 3; any other name gives absent.
std::optional<unsigned> worker_index(std::string_view comm);

// The core type of each CPU on a hybrid machine, from the CPU lists of
// /sys/devices/cpu_core/cpus and /sys/devices/cpu_atom/cpus (absent when a
// file is missing): "core", "atom", or "unknown" for a CPU in neither. Empty
// when neither list is readable: the machine is not hybrid, or does not say.
std::vector<std::string> core_types(const std::vector<unsigned>& cpus, const std::optional<std::string>& core_list,
                                    const std::optional<std::string>& atom_list);

}  // namespace truvello::cli
