#pragma once

#include <optional>
#include <vector>

#include "commands/export_set.h"
#include "commands/options.h"
#include "commands/session_outputs.h"
#include "main/progress_display.h"
#include "main/signal_watch.h"
#include "model/invocation.h"
#include "model/run_outcome.h"
#include "progress/progress_state.h"
#include "truvello.h"

namespace truvello::cli {

// The version of this command, as `--version` prints it and every document
// records it.
const char* command_version();

// What a command that measures does around its runs, the same for
// `truvello` and `truvello ab`: the export files, opened before anything
// else; the invocation's header (versions and machine); the progress on
// stderr; the signal watch, which turns SIGINT and SIGTERM into the end of
// the series while the session measures; each run through the library; and
// at the end the report on stdout, the exports and the exit status. A
// command adds only its own order of runs.
class Session {
 public:
  // `planned_seconds` is the length of every run planned, for the progress;
  // empty when the runs are not counted in advance (--precision). When an
  // export cannot be opened the line is printed and ready() is false:
  // nothing may run then, and the machine is not even probed.
  Session(const Options& options, const SessionOutputs& outputs, std::vector<double> planned_seconds);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool ready() const { return ready_; }
  Invocation& invocation() { return invocation_; }

  // Runs one benchmark through the library, as run number runs.size() + 1
  // of the progress, and keeps its outcome in the invocation. A failed run
  // is named on stderr and ends the series: the next would most likely fail
  // the same way.
  RunOutcome& run(const truvello_config& config, std::optional<SeriesGoalView> goal = std::nullopt);

  bool failed() const { return failed_; }
  // True once nothing more may run: a run failed or a signal came.
  bool stopped() const;

  // Ends the series: from here on a second Ctrl-C ends the process at once,
  // as what follows only prints and writes files. Prints the report on
  // stdout, writes the exports and returns the exit status: 128 + the
  // signal, else 2 when a run, an export or (`failed`) the command's own
  // part failed, else 0. Call once.
  int finish(bool failed = false);

 private:
  const Options& options_;
  const SessionOutputs& outputs_;
  Glyphs glyphs_;
  ExportSet exports_;
  bool ready_ = false;
  Invocation invocation_;
  ProgressDisplay progress_;
  std::optional<SignalWatch> signals_;  // while the session measures
  bool failed_ = false;
};

}  // namespace truvello::cli
