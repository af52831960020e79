#pragma once

#include <cstdint>
#include <optional>

#include "model/machine_context.h"

namespace truvello::cli {

// Reads /proc and /sys. Anything missing or unreadable is left unknown:
// containers and virtual machines expose only some of these files.
MachineContext probe_machine();

// The sum of the OS kernel's thermal throttle event counters over all CPUs, or
// absent when the machine does not expose them.
std::optional<std::uint64_t> read_throttle_total();

}  // namespace truvello::cli
