#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "machine/machine_context.h"
#include "options/run_outcome.h"
#include "stats/scaling.h"

namespace truvello::cli {

// A benchmark's series run under --precision: what was asked and how it
// ended.
struct PrecisionRecord {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  double target_percent = 0.0;
  double max_time_seconds = 0.0;
  double elapsed_seconds = 0.0;  // from the start of the series' first run to the end of its last
  std::string stopped;           // "reached", "budget", "cancelled" or "failed"
};

// One call of the command: who ran, where, and what every run gave. The
// summary and every export are views of this.
struct Invocation {
  std::string command_version;
  std::string library_version;
  std::uint32_t abi_version = 0;
  MachineContext machine;
  std::vector<RunOutcome> runs;
  std::vector<PrecisionRecord> precision;  // one per benchmark run under --precision

  const PrecisionRecord* precision_of(std::uint32_t benchmark) const {
    for (const PrecisionRecord& p : precision) {
      if (p.benchmark == benchmark) return &p;
    }
    return nullptr;
  }

  // The scaling figures, when both benchmarks ran to completion.
  std::optional<Scaling> scaling() const {
    const RunOutcome* single = find(TRUVELLO_BENCHMARK_SINGLE);
    const RunOutcome* all = find(TRUVELLO_BENCHMARK_ALL_CPUS);
    if (single == nullptr || all == nullptr || !single->result || !all->result) {
      return std::nullopt;
    }
    return truvello::cli::scaling(*single->result, *all->result);
  }

  // How many runs of the benchmark this invocation holds: more than one means
  // a series from --repeat, whose runs are told apart by their place in it.
  std::size_t run_count(std::uint32_t benchmark) const {
    std::size_t count = 0;
    for (const RunOutcome& run : runs) count += run.config.benchmark == benchmark ? 1 : 0;
    return count;
  }

  const RunOutcome* find(std::uint32_t benchmark) const {
    for (const RunOutcome& run : runs) {
      if (run.config.benchmark == benchmark) return &run;
    }
    return nullptr;
  }
};

}  // namespace truvello::cli
