#pragma once

#include <cstdint>
#include <vector>

#include "run_report.h"

namespace truvello {

// Pure functions that turn counter readings into samples and a finished
// report. The floating-point operations are done in a fixed order so that
// results are bit-for-bit reproducible.

// Appends the sample that ends at `t` (seconds from warm_end) given the
// measured-ops sum `ops_now`, and advances `last_t`/`last_ops`. Nothing
// happens when `t` is not after `last_t`; a sum below `last_ops` counts 0.
void append_sample(std::vector<Sample>& samples, std::uint64_t ops_now, double& last_t, std::uint64_t& last_ops,
                   double t);

// Drops samples at or past `measured_seconds` and closes the series with a
// sample ending exactly there, holding the operations not yet counted.
void finish_samples(RunReport& report);

// Decides status and reason (panicked, then cancelled, then no work) and for
// a complete run the mean rate, the time-weighted coefficient of variation
// and the instability flag.
void finish_result(RunReport& report, bool panicked, bool cancelled);

// Runs whose coefficient of variation exceeds this many per cent are unstable.
inline constexpr double kUnstableCvPercent = 10.0;

}  // namespace truvello
