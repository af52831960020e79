// The truvello command: runs the library's benchmarks from a terminal, shows
// progress while they last, and reports, explains and exports the results.

#include <langinfo.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "commands/atomic_file.h"
#include "commands/command_output.h"
#include "commands/compare_command.h"
#include "commands/fleet_command.h"
#include "commands/options.h"
#include "commands/report_command.h"
#include "document/json_report.h"
#include "machine/machine_probe.h"
#include "main/ab_session.h"
#include "main/benchmark_session.h"
#include "main/progress_display.h"
#include "main/signal_watch.h"
#include "model/invocation.h"
#include "output/csv_report.h"
#include "output/html_report.h"
#include "output/markdown_report.h"
#include "output/prometheus_text.h"
#include "output/summary.h"
#include "progress/sparkline.h"
#include "statistics/precision_goal.h"
#include "statistics/series_estimate.h"
#include "text/terminal_text.h"
#include "truvello.h"

#ifndef TRUVELLO_COMMAND_VERSION
#define TRUVELLO_COMMAND_VERSION "unknown"
#endif

namespace truvello::cli {
namespace {

// An export file, opened before the runs so that a mistyped path fails at
// once instead of after minutes of measuring.
struct Export {
  std::string path;
  std::string (*render)(const Invocation&);
  std::ofstream stream;
};

std::string render_json(const Invocation& inv) { return json_text(view_of(inv)); }
std::string render_csv(const Invocation& inv) { return csv_text(inv); }
std::string render_markdown(const Invocation& inv) { return markdown_text(view_of(inv)); }
std::string render_html(const Invocation& inv) {
  const ReportSource source{"", &inv};
  return html_text({&source, 1}, report_date(std::time(nullptr)));
}

bool open_exports(const Options& options, std::vector<Export>& exports) {
  const struct {
    const std::string& path;
    std::string (*render)(const Invocation&);
  } wanted[] = {{options.export_json, render_json},
                {options.export_csv, render_csv},
                {options.export_markdown, render_markdown},
                {options.export_html, render_html}};
  for (const auto& w : wanted) {
    if (w.path.empty()) continue;
    Export e{w.path, w.render, std::ofstream(w.path, std::ios::out | std::ios::trunc)};
    if (!e.stream) {
      std::fprintf(stderr, "truvello: cannot write %s: %s\n", terminal_safe(w.path).c_str(), std::strerror(errno));
      return false;
    }
    exports.push_back(std::move(e));
  }
  return true;
}

bool write_exports(std::vector<Export>& exports, const Invocation& invocation) {
  bool ok = true;
  for (Export& e : exports) {
    e.stream << e.render(invocation);
    e.stream.close();
    if (!e.stream) {
      std::fprintf(stderr, "truvello: writing %s failed\n", terminal_safe(e.path).c_str());
      ok = false;
    }
  }
  return ok;
}

ProgressDisplay::Mode progress_mode(const Options& options) {
  if (options.quiet) return ProgressDisplay::Mode::kOff;
  return isatty(STDERR_FILENO) ? ProgressDisplay::Mode::kBar : ProgressDisplay::Mode::kLines;
}

// Runs benchmarks one after another into an invocation, each on a fresh
// handle, and stops for good at a failed run or a signal.
class Runner {
 public:
  Runner(Invocation& invocation, SignalWatch& signals, ProgressDisplay& progress)
      : invocation_(invocation), signals_(signals), progress_(progress) {}

  // One run; false when nothing more may run.
  bool run(const truvello_config& config, std::optional<SeriesGoalView> goal = std::nullopt) {
    if (stopped()) return false;
    progress_.begin_run(invocation_.runs.size(), BenchmarkKind{config.benchmark}, goal);
    const auto repeat = static_cast<std::uint32_t>(invocation_.run_count(config.benchmark) + 1);
    invocation_.runs.push_back(run_benchmark(config, signals_, progress_));
    RunOutcome& run = invocation_.runs.back();
    run.repeat = repeat;
    if (run.status == TRUVELLO_STATUS_FAILED) {
      std::fprintf(stderr, "truvello: benchmark %u failed: %s\n", static_cast<unsigned>(run.config.benchmark),
                   terminal_safe(run.reason).c_str());
      failed_ = true;  // the next run would most likely fail the same way
    }
    return !stopped();
  }

  bool failed() const { return failed_; }
  bool stopped() const { return failed_ || SignalWatch::received() != 0; }
  const RunOutcome& last() const { return invocation_.runs.back(); }

 private:
  Invocation& invocation_;
  SignalWatch& signals_;
  ProgressDisplay& progress_;
  bool failed_ = false;
};

// One benchmark's series under --precision: runs until its score is known as
// well as asked, the budget would be passed, a run fails or a signal comes.
PrecisionRecord run_to_precision(Runner& runner, const truvello_config& first, const PrecisionGoal& goal) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto elapsed = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  PrecisionRecord record{first.benchmark, goal.target_percent, goal.max_time_seconds, 0.0, ""};
  truvello_config config = first;
  std::vector<double> scores;
  std::optional<double> half_width;
  for (std::size_t run = 1;; ++run) {
    const bool go_on =
        runner.run(config, SeriesGoalView{run, goal.target_percent, half_width, goal.max_time_seconds, elapsed()});
    if (runner.last().completed()) scores.push_back(runner.last().result->mean_rate);
    if (!go_on) {
      record.stopped = stop_key(runner.failed() ? SeriesStop::kFailed : SeriesStop::kCancelled);
      break;
    }
    if (scores.size() >= 2) {
      if (const auto estimate = estimate_series(scores)) half_width = estimate->half_width_percent();
    }
    config.warmup_seconds = later_warmup(first.warmup_seconds);
    if (const auto stop = precision_stop(goal, scores, elapsed(), config.warmup_seconds + config.measurement_seconds)) {
      record.stopped = stop_key(*stop);
      break;
    }
  }
  record.elapsed_seconds = elapsed();
  return record;
}

int run(const Options& options) {
  const Glyphs glyphs = is_utf8_codeset(nl_langinfo(CODESET)) ? Glyphs::kBlocks : Glyphs::kAscii;

  std::vector<Export> exports;
  if (!open_exports(options, exports)) return kExitFailed;
  if (!options.export_prometheus.empty()) {
    if (const std::string failure = check_directory_writable(options.export_prometheus); !failure.empty()) {
      std::fputs(terminal_lines(failure).c_str(), stderr);
      return kExitFailed;
    }
  }

  truvello_config defaults{};
  truvello_default_config(&defaults);

  Invocation invocation;
  invocation.command_version = TRUVELLO_COMMAND_VERSION;
  invocation.library_version = truvello_version();
  invocation.abi_version = truvello_abi_version();
  invocation.machine = probe_machine();
  if (options.anonymous) invocation.machine.host_name = invocation.machine.machine_id = "";

  // A --precision series has no planned count; its progress is measured
  // against its budget instead.
  std::vector<double> planned;
  if (!options.precision_percent) {
    for (const truvello_config& c : options.configs(defaults))
      planned.push_back(c.warmup_seconds + c.measurement_seconds);
  }
  ProgressDisplay progress(progress_mode(options), stderr, STDERR_FILENO, glyphs, planned);

  bool failed = false;
  {
    SignalWatch signals;
    Runner runner(invocation, signals, progress);
    if (options.precision_percent) {
      const PrecisionGoal goal{*options.precision_percent, options.max_time_seconds,
                               std::max<std::size_t>(kMinSeriesRuns, options.repeat)};
      for (const std::uint32_t benchmark : options.benchmarks()) {
        if (runner.stopped()) break;
        truvello_config config = options.base_config(defaults);
        config.benchmark = benchmark;
        invocation.precision.push_back(run_to_precision(runner, config, goal));
      }
    } else {
      for (const truvello_config& config : options.configs(defaults)) {
        if (!runner.run(config)) break;
      }
    }
    failed = runner.failed();
  }
  // From here on a second Ctrl-C ends the process at once; what follows only
  // prints and writes files.
  const int signal = SignalWatch::received();
  invocation.end_time = static_cast<std::int64_t>(std::time(nullptr));

  const InvocationView view = view_of(invocation);
  const std::string report = options.json ? json_text(view) : summary_text(view, glyphs);
  std::fputs(report.c_str(), stdout);
  std::fflush(stdout);
  if (!write_exports(exports, invocation)) failed = true;
  if (!options.export_prometheus.empty()) {
    // Replaced whole, so that a collector reading the directory at any moment
    // sees the previous figures or these, never half of them.
    const std::string failure = write_file_atomically(options.export_prometheus, prometheus_text(view));
    if (!failure.empty()) {
      std::fputs(terminal_lines(failure).c_str(), stderr);
      failed = true;
    }
  }

  if (signal != 0) return 128 + signal;
  return failed ? kExitFailed : kExitOk;
}

// Colour only on a terminal, and never when NO_COLOR is set (to anything but
// the empty string, which counts as unset).
bool colour_wanted() {
  const char* no_colour = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) && (no_colour == nullptr || *no_colour == '\0');
}

}  // namespace
}  // namespace truvello::cli

int main(int argc, char** argv) {
  using namespace truvello::cli;
  std::setlocale(LC_ALL, "");
  const ParsedCommandLine parsed = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
  std::fputs(parsed.out.c_str(), stdout);
  std::fputs(terminal_lines(parsed.err).c_str(), stderr);
  if (parsed.report || parsed.compare || parsed.fleet) {
    const Glyphs glyphs = is_utf8_codeset(nl_langinfo(CODESET)) ? Glyphs::kBlocks : Glyphs::kAscii;
    CommandOutput output;
    try {
      if (parsed.fleet) {
        output = fleet_command(*parsed.fleet);
      } else {
        output =
            parsed.report ? report_command(*parsed.report, glyphs) : compare_command(*parsed.compare, colour_wanted());
      }
    } catch (const std::exception& e) {
      output = CommandOutput{kExitFailed, "", std::string("truvello: ") + e.what() + "\n"};
    }
    std::fputs(output.out.c_str(), stdout);
    std::fputs(terminal_lines(output.err).c_str(), stderr);
    return output.exit_code;
  }
  if (parsed.ab) {
    try {
      return run_ab(*parsed.ab, TRUVELLO_COMMAND_VERSION);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "truvello: %s\n", terminal_safe(e.what()).c_str());
      return kExitFailed;
    }
  }
  if (!parsed.options) return parsed.exit_code;
  if (parsed.options->version) {
    std::printf("truvello %s\nlibrary %s (interface %u)\n", TRUVELLO_COMMAND_VERSION, truvello_version(),
                static_cast<unsigned>(truvello_abi_version()));
    return kExitOk;
  }
  try {
    return run(*parsed.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "truvello: %s\n", terminal_safe(e.what()).c_str());
    return kExitFailed;
  }
}
