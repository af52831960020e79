#pragma once

#include <cstdint>
#include <optional>

#include "model/invocation.h"
#include "truvello.h"

namespace truvello::cli {

// How well the all-CPU benchmark turns workers into throughput, relative to
// one worker on its own.
struct Scaling {
  double speedup = 0.0;       // all-CPU rate / single rate
  std::uint32_t workers = 0;  // workers of the all-CPU run
  double efficiency = 0.0;    // all-CPU rate / (workers x single rate), 1.0 is perfect
};

// Present only when both runs completed with a positive rate and the all-CPU
// run had workers.
std::optional<Scaling> scaling(const truvello_result_record& single, const truvello_result_record& all_cpus);

// The scaling of an invocation: its first single run against its first
// all-CPU run, when both completed.
std::optional<Scaling> scaling(const Invocation& invocation);

}  // namespace truvello::cli
