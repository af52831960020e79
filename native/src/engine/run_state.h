#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "counters.h"
#include "start_gate.h"
#include "timing_cell.h"

namespace truvello {

// The blocks one run shares between its driver and its workers: a counter
// block per worker, the timing cell, the start gate and the stop flag. The
// driver owns it and destroys it only after every worker has been joined, so
// workers hold plain references into it and nothing about it is
// reference-counted.
//
// Memory ordering: `stop` is read relaxed by the workers. It is either set
// before the gate opens (a dismissal, published by the gate's mutex) or set
// to end a running loop, where seeing it a batch late costs nothing; the
// join that follows orders everything the worker wrote.
struct RunState {
  explicit RunState(std::uint32_t workers) : counters(workers) {}
  RunState(const RunState&) = delete;
  RunState& operator=(const RunState&) = delete;

  std::vector<Counters> counters;  // one per worker, by index; never resized
  TimingCell timing;
  StartGate gate;
  std::atomic<bool> stop{false};
};

}  // namespace truvello
