#pragma once

#include <optional>
#include <string>

namespace truvello::cli {

// How a shell command given on the command line ended.
struct ShellOutcome {
  std::string failure;  // why it could not be started; empty when it ran
  int exit_status = 0;  // when it exited
  int signal = 0;       // the signal that ended it, or 0

  bool ok() const { return failure.empty() && signal == 0 && exit_status == 0; }
  // "exited with status 3", "was ended by signal 9 (Killed)", "could not be
  // started: ...".
  std::string text() const;
};

// Runs `command` as `/bin/sh -c command` and waits for it to end. Its
// environment is this process's, plus TRUVELLO_PID (this process's id, so
// that the command may act on it: `taskset -a -p -c 1 "$TRUVELLO_PID"`) and,
// when `side` is given, TRUVELLO_SIDE ("A" or "B"). It shares this process's
// standard streams and terminal, and so sees a Ctrl-C typed there.
ShellOutcome run_shell(const std::string& command, std::optional<char> side);

}  // namespace truvello::cli
