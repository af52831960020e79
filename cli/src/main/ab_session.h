#pragma once

#include "commands/options.h"

namespace truvello::cli {

// `truvello ab`: runs one benchmark in turns on sides A and B, each run after
// its side's setup, then prints the paired verdict and writes the exports.
// The restore runs exactly once whatever ends the series: the planned pairs,
// --precision, a failed setup or run, Ctrl-C, SIGTERM or an exception.
// Returns the exit status.
int run_ab(const AbOptions& options);

}  // namespace truvello::cli
