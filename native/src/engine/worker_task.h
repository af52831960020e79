#pragma once

#include <atomic>
#include <cstdint>

#include "readiness_queue.h"
#include "run_state.h"
#include "runtime.h"

namespace truvello {

// The one-shot work item of one worker: its index, its sending end of the
// readiness queue, and plain references to what the run driver owns and
// keeps alive until it has joined the worker (the runtime, the run state and
// the cancellation flag). Move-only; destroying it, run or not, releases its
// sending end.
struct WorkerTask {
  std::uint64_t index = 0;
  ReadySender ready;
  Runtime& runtime;
  RunState& run;
  const std::atomic<bool>& cancel;
};

}  // namespace truvello
