#pragma once

#include "commands/command_output.h"
#include "commands/options.h"

namespace truvello::cli {

// `truvello compare BASELINE.json CANDIDATE.json...`: reads every file, then
// prints the comparison (a table, or JSON with --json), writes the Markdown
// export, and applies the gate. Exit 0, 1 when the gate fails, 2 when a file
// cannot be used or written, or when the gate is asked to judge a side with
// fewer than kMinSeriesRuns completed runs (the comparison is printed all the
// same). `colour` marks verdicts in the table.
CommandOutput compare_command(const CompareOptions& options, bool colour);

}  // namespace truvello::cli
