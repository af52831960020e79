#pragma once

#include "run_state.h"

namespace truvello {

// Steps per batch; the counters grow only in steps of this size.
inline constexpr std::uint64_t kBatchSteps = 8;

// What a worker thread runs: build the kernel, report readiness, wait at the
// gate, then step the kernel in batches of 8 until stopped, cancelled or past
// the end of measurement, and leave the measured time and checksum behind.
void run_worker(WorkerTask task);

}  // namespace truvello
