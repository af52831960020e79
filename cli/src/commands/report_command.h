#pragma once

#include "commands/command_output.h"
#include "commands/options.h"
#include "progress/sparkline.h"

namespace truvello::cli {

// `truvello report RUN.json`: the summary of a saved run exactly as it was
// printed after the run, its recorded warnings included. Exit 2 with one line
// on stderr when the file cannot be used.
CommandOutput report_command(const ReportOptions& options, Glyphs glyphs);

}  // namespace truvello::cli
