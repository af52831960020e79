#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "run_lengths.h"
#include "run_report.h"
#include "runtime.h"

namespace truvello {

// True while a run holds the process; one run at a time, across all handles
// and threads. Claimed by compare-and-swap, released by a store.
extern std::atomic<bool> ACTIVE;

// The benchmark selector of the single-worker benchmark; any other value
// runs one worker per available CPU.
inline constexpr std::uint32_t kBenchmarkSingle = 1;

// Performs one complete run on the calling thread: admission, worker start-up
// and handshake, warm-up and measurement with sampling and progress, stop and
// join, statistics. Never returns an error: every failure is a report with
// its status and reason. Every worker has been joined when it returns.
// kBenchmarkSingle runs one worker; any other value one per available CPU.
// The clock runs on the lengths' durations; the report carries their seconds
// as the host gave them.
RunReport run_with(std::uint32_t benchmark, const RunLengths& lengths, const std::shared_ptr<std::atomic<bool>>& cancel,
                   const ProgressSink& progress, std::shared_ptr<Runtime> runtime);

}  // namespace truvello
