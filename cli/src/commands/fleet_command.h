#pragma once

#include <string>
#include <vector>

#include "commands/command_output.h"
#include "commands/options.h"

namespace truvello::cli {

// The files a fleet view reads, sorted: every path given that is not a
// directory, and every *.json under those that are (symbolic links to
// directories are not followed, so that a loop cannot trap the walk).
// Paths that do not exist or cannot be walked go to `problems` as
// "PATH: reason".
std::vector<std::string> fleet_files(const std::vector<std::string>& paths, std::vector<std::string>& problems);

// `truvello fleet PATH...`: reads every document, prints the groups (a table,
// or JSON with --json) and writes the exports. Files that cannot be read are
// listed on stderr, one line each, and counted. Exit 0, or 2 when no file
// could be read or an export could not be written.
CommandOutput fleet_command(const FleetOptions& options);

}  // namespace truvello::cli
