#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace truvello::cli {

// How long a cancelled command's process group has to end after SIGTERM
// before it gets SIGKILL.
inline constexpr std::chrono::seconds kCancelGrace{5};

// How a shell command given on the command line ended.
struct ShellOutcome {
  std::string failure;     // why it could not be started; empty when it ran
  int exit_status = 0;     // when it exited
  int signal = 0;          // the signal that ended it, or 0
  bool cancelled = false;  // ended because the caller asked: not a fault of the command
  bool stopped = false;    // ended because a process of it stayed stopped (see run_shell)

  bool ok() const { return !cancelled && !stopped && failure.empty() && signal == 0 && exit_status == 0; }
  // "exited with status 3", "was ended by signal 9 (Killed)", "could not be
  // started: ...", "was cancelled".
  std::string text() const;
};

// Runs `command` as `/bin/sh -c command` and waits for it to end. Its
// environment is this process's, plus TRUVELLO_PID (this process's id, so
// that the command may act on it: `taskset -a -p -c 1 "$TRUVELLO_PID"`) and,
// when `side` is given, TRUVELLO_SIDE ("A" or "B"). It shares this process's
// standard streams.
//
// It runs in a process group of its own, so that it can be ended with every
// command it started. That group is not the terminal's foreground group: a
// Ctrl-C typed there reaches this process alone, and it is by `cancelled`
// that it reaches the command. While the command runs `cancelled` is asked
// every few milliseconds; once it says yes, the group gets SIGTERM (and
// SIGCONT, so that a stopped member can act on it), then SIGKILL if any of it
// is still running kCancelGrace later, and the outcome is `cancelled`.
// Without `cancelled` the command is waited for however long it takes.
// Being in the background, the command cannot read from the terminal: a
// process of it that tries is stopped by the OS kernel and would wait for
// ever, so a group with a process found stopped twice, a quarter of a second
// apart, is ended the same way and the outcome is `stopped`.
ShellOutcome run_shell(const std::string& command, std::optional<char> side, bool (*cancelled)() = nullptr);

}  // namespace truvello::cli
