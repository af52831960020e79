// The truvello command: runs the library's benchmarks from a terminal, shows
// progress while they last, and reports, explains and exports the results.

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "commands/command_output.h"
#include "commands/compare_command.h"
#include "commands/fleet_command.h"
#include "commands/options.h"
#include "commands/report_command.h"
#include "commands/session_outputs.h"
#include "main/ab_session.h"
#include "main/session.h"
#include "main/terminal_choice.h"
#include "statistics/precision_goal.h"
#include "statistics/series_estimate.h"
#include "text/terminal_text.h"
#include "truvello.h"

namespace truvello::cli {
namespace {

// One benchmark's series under --precision: runs until its score is known as
// well as asked, the budget would be passed, a run fails or a signal comes.
PrecisionRecord run_to_precision(Session& session, const truvello_config& first, const PrecisionGoal& goal) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  const auto elapsed = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
  PrecisionRecord record{first.benchmark, goal.target_percent, goal.max_time_seconds, 0.0, ""};
  truvello_config config = first;
  std::vector<double> scores;
  std::optional<double> half_width;
  for (std::size_t run = 1;; ++run) {
    const RunOutcome& outcome =
        session.run(config, SeriesGoalView{run, goal.target_percent, half_width, goal.max_time_seconds, elapsed()});
    if (outcome.completed()) scores.push_back(outcome.result->mean_rate);
    if (session.stopped()) {
      record.stopped = stop_key(session.failed() ? SeriesStop::kFailed : SeriesStop::kCancelled);
      break;
    }
    if (scores.size() >= 2) {
      if (const auto estimate = estimate_series(scores)) half_width = estimate->half_width_percent();
    }
    config.warmup_seconds = later_warmup(first.warmup_seconds);
    if (const auto stop = precision_stop(goal, scores, elapsed(), planned_seconds(config))) {
      record.stopped = stop_key(*stop);
      break;
    }
  }
  record.elapsed_seconds = elapsed();
  return record;
}

// The run command: the selected benchmarks one after another, each on a
// fresh handle, or each as a series under --precision; a failed run or a
// signal stops them all.
int run(const Options& options) {
  truvello_config defaults{};
  truvello_default_config(&defaults);
  // A --precision series has no planned count; its progress is measured
  // against its budget instead.
  std::vector<double> planned;
  if (!options.precision_percent) {
    for (const truvello_config& c : options.configs(defaults)) planned.push_back(planned_seconds(c));
  }
  Session session(options, run_outputs(), planned);
  if (!session.ready()) return kExitFailed;
  if (options.precision_percent) {
    const PrecisionGoal goal{*options.precision_percent, options.max_time_seconds,
                             std::max<std::size_t>(kMinSeriesRuns, options.repeat)};
    for (const std::uint32_t benchmark : options.benchmarks()) {
      if (session.stopped()) break;
      truvello_config config = options.base_config(defaults);
      config.benchmark = benchmark;
      session.invocation().precision.push_back(run_to_precision(session, config, goal));
    }
  } else {
    for (const truvello_config& config : options.configs(defaults)) {
      if (session.stopped()) break;
      session.run(config);
    }
  }
  return session.finish();
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
    CommandOutput output;
    try {
      if (parsed.fleet) {
        output = fleet_command(*parsed.fleet);
      } else {
        output = parsed.report ? report_command(*parsed.report, locale_glyphs())
                               : compare_command(*parsed.compare, colour_wanted());
      }
    } catch (const std::exception& e) {
      output = CommandOutput{kExitFailed, "", std::string("truvello: ") + e.what() + "\n"};
    }
    std::fputs(output.out.c_str(), stdout);
    std::fputs(terminal_lines(output.err).c_str(), stderr);
    return output.exit_code;
  }
  if (!parsed.options && !parsed.ab) return parsed.exit_code;
  if (parsed.options && parsed.options->version) {
    std::printf("truvello %s\nlibrary %s (interface %u)\n", command_version(), truvello_version(),
                static_cast<unsigned>(truvello_abi_version()));
    return kExitOk;
  }
  try {
    return parsed.ab ? run_ab(*parsed.ab) : run(*parsed.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "truvello: %s\n", terminal_safe(e.what()).c_str());
    return kExitFailed;
  }
}
