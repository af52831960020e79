#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "model/ab_record.h"
#include "model/machine_context.h"
#include "model/run_outcome.h"

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
  // When the last run ended, in seconds since the Unix epoch; absent in
  // documents written before it was recorded.
  std::optional<std::int64_t> end_time;
  std::optional<AbRecord> ab;  // set for an A/B series: which side each run measured

  const PrecisionRecord* precision_of(std::uint32_t benchmark) const {
    for (const PrecisionRecord& p : precision) {
      if (p.benchmark == benchmark) return &p;
    }
    return nullptr;
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
