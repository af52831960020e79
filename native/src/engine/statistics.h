#pragma once

#include <cstdint>
#include <vector>

#include "run_report.h"
#include "score_rules.h"

namespace truvello {

// Pure functions that turn counter readings into samples and a finished
// report. The floating-point operations are done in a fixed order so that
// results are bit-for-bit reproducible.

// Appends the sample that ends at `t` (seconds from warm_end) given the
// measured-ops sum `ops_now`, and advances `last_t`/`last_ops`. Nothing
// happens when `t` is not after `last_t`; a sum below `last_ops` counts 0.
void append_sample(std::vector<Sample>& samples, std::uint64_t ops_now, double& last_t, std::uint64_t& last_ops,
                   double t);

// The run's figures over all its workers, added one worker at a time in
// index order: operations summed, the longest measured time kept, checksums
// combined by XOR (so that each worker's contribution shows whatever the
// others did).
struct WorkerTotals {
  std::uint64_t ops = 0;
  std::uint64_t max_ns = 0;
  std::uint64_t checksum = 0;

  void add(std::uint64_t measured_ops, std::uint64_t measured_ns, std::uint64_t worker_checksum);

  // Copies the totals into the report: total_ops, measured_seconds (the
  // longest time in seconds) and checksum.
  void store_in(RunReport& report) const;
};

// Drops samples at or past `measured_seconds` and closes the series with a
// sample ending exactly there, holding the operations not yet counted.
void finish_samples(RunReport& report);

// Decides status and reason (panicked, then cancelled, then no work) and for
// a complete run the mean rate, the time-weighted coefficient of variation
// and the instability flag.
void finish_result(RunReport& report, bool panicked, bool cancelled);

}  // namespace truvello
