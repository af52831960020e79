#pragma once

#include <string>

#include "commands/options.h"

namespace truvello::cli {

// What a subcommand that only reads files has to say: its exit status and
// the text for stdout and stderr. Kept apart from the streams so that the
// whole behaviour can be tested without a process.
struct CommandOutput {
  int exit_code = kExitOk;
  std::string out;
  std::string err;
};

}  // namespace truvello::cli
