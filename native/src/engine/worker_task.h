#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "counters.h"
#include "readiness_queue.h"
#include "runtime.h"
#include "start_gate.h"
#include "timing_cell.h"

namespace truvello {

// The one-shot work item of one worker: its index and a reference to every
// shared block it touches. Move-only; destroying it, run or not, releases
// every reference, its sending end of the readiness queue included.
struct WorkerTask {
  std::uint64_t index = 0;
  ReadySender ready;
  std::shared_ptr<Runtime> runtime;
  std::shared_ptr<StartGate> gate;
  std::shared_ptr<std::atomic<bool>> stop;
  std::shared_ptr<TimingCell> timing;
  std::shared_ptr<std::atomic<bool>> cancel;
  std::shared_ptr<Counters> counters;
};

}  // namespace truvello
