#pragma once

// Phrases that every output words the same way, whatever its format.

#include <string>
#include <string_view>

#include "model/machine_context.h"
#include "statistics/scaling.h"

namespace truvello::cli {

// The machine in one line, `dot` between its parts:
//   "AMD EPYC 7763 · 16 CPUs online, 3.5 usable · Linux 6.1.0"
// The CPU model and the kernel come from outside: the caller makes the line
// safe for its format.
std::string machine_line(const MachineContext& machine, std::string_view dot);

// How the all-CPU run scaled, `times` being "×" or "x":
//   "all CPUs ran 1.93 × the single rate with 2 workers"
std::string scaling_sentence(const Scaling& scaling, std::string_view times);

}  // namespace truvello::cli
