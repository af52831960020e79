#pragma once

#include "main/progress_display.h"
#include "main/signal_watch.h"
#include "model/run_outcome.h"
#include "truvello.h"

namespace truvello::cli {

// Runs one configuration through the C interface on a fresh handle, keeping
// it cancellable by signals, and copies the whole outcome out before the
// handle is released.
RunOutcome run_benchmark(const truvello_config& config, SignalWatch& signals, ProgressDisplay& progress);

}  // namespace truvello::cli
