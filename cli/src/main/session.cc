#include "main/session.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>

#include "machine/machine_probe.h"
#include "main/benchmark_session.h"
#include "main/terminal_choice.h"
#include "statistics/invocation_view.h"
#include "text/terminal_text.h"

#ifndef TRUVELLO_COMMAND_VERSION
#define TRUVELLO_COMMAND_VERSION "unknown"
#endif

namespace truvello::cli {

const char* command_version() { return TRUVELLO_COMMAND_VERSION; }

Session::Session(const Options& options, const SessionOutputs& outputs, std::vector<double> planned_seconds)
    : options_(options),
      outputs_(outputs),
      glyphs_(locale_glyphs()),
      progress_(progress_mode(options.quiet), stderr, STDERR_FILENO, glyphs_, std::move(planned_seconds)) {
  if (const std::string failure = exports_.open(options, outputs.exports); !failure.empty()) {
    std::fputs(terminal_lines(failure).c_str(), stderr);
    return;
  }
  ready_ = true;
  invocation_.command_version = command_version();
  invocation_.library_version = truvello_version();
  invocation_.abi_version = truvello_abi_version();
  invocation_.machine = probe_machine();
  if (options.anonymous) invocation_.machine.host_name = invocation_.machine.machine_id = "";
  signals_.emplace();
}

RunOutcome& Session::run(const truvello_config& config, std::optional<SeriesGoalView> goal) {
  progress_.begin_run(invocation_.runs.size(), BenchmarkKind{config.benchmark}, goal);
  const auto repeat = static_cast<std::uint32_t>(invocation_.run_count(config.benchmark) + 1);
  RunOutcome& run = invocation_.runs.emplace_back(run_benchmark(config, *signals_, progress_));
  run.repeat = repeat;
  if (run.status == TRUVELLO_STATUS_FAILED) {
    std::fprintf(stderr, "truvello: benchmark %u failed: %s\n", static_cast<unsigned>(config.benchmark),
                 terminal_safe(run.reason).c_str());
    failed_ = true;
  }
  return run;
}

bool Session::stopped() const { return failed_ || SignalWatch::received() != 0; }

int Session::finish(bool failed) {
  signals_.reset();
  const int signal = SignalWatch::received();
  // When the last run ended, so that a fleet view can tell the latest
  // document of a machine.
  invocation_.end_time = static_cast<std::int64_t>(std::time(nullptr));

  const InvocationView view = view_of(invocation_);
  const std::string report = options_.json ? document_json(view) : outputs_.summary(view, glyphs_);
  std::fputs(report.c_str(), stdout);
  std::fflush(stdout);
  if (const std::string failures = exports_.write(view); !failures.empty()) {
    std::fputs(terminal_lines(failures).c_str(), stderr);
    failed = true;
  }
  if (signal != 0) return 128 + signal;
  return failed || failed_ ? kExitFailed : kExitOk;
}

}  // namespace truvello::cli
