#pragma once

#include <atomic>
#include <cstdint>

namespace truvello {

// One worker's counters, alone on a 64-byte cache line so that workers
// counting side by side never share a line.
//
// Memory ordering: every access is relaxed. `warmup_ops` and `measured_ops`
// have one writer (their worker, one add of 8 per batch) and are read by the
// driver while the run goes on; a reading may lag by a batch, and nothing is
// published through them. `measured_ns` and `checksum` are stored once by the
// worker after its loop and read by the driver only after joining the
// worker's thread, which orders them.
struct alignas(64) Counters {
  std::atomic<std::uint64_t> warmup_ops{0};
  std::atomic<std::uint64_t> measured_ops{0};
  std::atomic<std::uint64_t> measured_ns{0};
  std::atomic<std::uint64_t> checksum{0};
};

static_assert(sizeof(Counters) == 64 && alignof(Counters) == 64);

}  // namespace truvello
