#include "main/ab_session.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "commands/session_outputs.h"
#include "main/session.h"
#include "main/setup_command.h"
#include "main/signal_watch.h"
#include "statistics/ab_order.h"
#include "statistics/paired_estimate.h"
#include "statistics/precision_goal.h"
#include "text/terminal_text.h"

namespace truvello::cli {

namespace {

using Clock = std::chrono::steady_clock;

bool signal_received() { return SignalWatch::received() != 0; }

// The restore command, run at most once: by the series when it ends, or on
// the way out of an exception.
class Restore {
 public:
  explicit Restore(std::string command) : command_(std::move(command)) {}
  ~Restore() { run(); }
  Restore(const Restore&) = delete;
  Restore& operator=(const Restore&) = delete;

  // False when the restore failed (said on stderr).
  bool run() {
    if (done_ || command_.empty()) return true;
    done_ = true;
    const ShellOutcome outcome = run_shell(command_, std::nullopt);
    if (outcome.ok()) return true;
    std::fprintf(stderr, "truvello: the restore command `%s` %s\n", terminal_safe(command_).c_str(),
                 terminal_safe(outcome.text()).c_str());
    return false;
  }

 private:
  std::string command_;
  bool done_ = false;
};

// Waits `seconds`, giving up at a signal. False when a signal came.
bool settle(double seconds) {
  const Clock::time_point end =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  while (!signal_received()) {
    const Clock::time_point now = Clock::now();
    if (now >= end) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(end - now, std::chrono::milliseconds(10)));
  }
  return false;
}

}  // namespace

int run_ab(const AbOptions& options) {
  const Options& o = options.run;
  truvello_config defaults{};
  truvello_default_config(&defaults);
  // Every run keeps its full warm-up: its setup may just have changed the
  // machine's clock or its CPUs.
  truvello_config config = o.base_config(defaults);
  config.benchmark = o.all_cpus ? TRUVELLO_BENCHMARK_ALL_CPUS : TRUVELLO_BENCHMARK_SINGLE;
  // Under --precision the pairs are not counted in advance; the order is
  // drawn for the most a series may hold and cut where it stops.
  const std::size_t planned_pairs = o.precision_percent ? kMaxRepeat : o.repeat;
  std::vector<double> planned;
  if (!o.precision_percent) planned.assign(2 * planned_pairs, planned_seconds(config));

  Session session(o, ab_outputs(), planned);
  if (!session.ready()) return kExitFailed;
  AbRecord& ab = session.invocation().ab.emplace();
  ab.label_a = options.label_a;
  ab.label_b = options.label_b;
  ab.setup_a = options.setup_a;
  ab.setup_b = options.setup_b;
  ab.restore = options.restore;
  ab.settle_seconds = options.settle_seconds;
  ab.seed = options.seed ? *options.seed : static_cast<std::uint32_t>(std::random_device{}());
  if (o.precision_percent) {
    ab.target_percent = o.precision_percent;
    ab.max_time_seconds = o.max_time_seconds;
  }
  const std::string plan = ab_order(ab.seed, planned_pairs);
  const PrecisionGoal goal{o.precision_percent.value_or(0.0), o.max_time_seconds,
                           std::max<std::size_t>(kMinSeriesRuns, options.repeat_given ? o.repeat : 0)};
  if (!o.quiet) {
    std::fprintf(stderr, "truvello: ab seed %u, order %s%s\n", static_cast<unsigned>(ab.seed),
                 plan.substr(0, std::min<std::size_t>(plan.size(), 16)).c_str(), plan.size() > 16 ? "..." : "");
  }

  bool failed = false;
  bool restore_failed = false;
  {
    Restore restore(options.restore);
    const Clock::time_point start = Clock::now();
    const auto elapsed = [start] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    std::optional<double> half_width;
    // One run of a side: its setup, the settle, the run. False when the
    // series stops, with `ab.stopped` saying why.
    const auto stop = [&ab](const char* why) {
      ab.stopped = why;
      return false;
    };
    const auto run_side = [&](std::size_t index) -> bool {
      const char side = plan[index];
      if (signal_received()) return stop("cancelled");
      const std::string& setup = side == 'A' ? options.setup_a : options.setup_b;
      const ShellOutcome outcome = run_shell(setup, side, signal_received);
      // A setup ended by the user's Ctrl-C, or by the SIGTERM it passed on,
      // is an interruption, not a fault.
      if (outcome.cancelled || signal_received()) return stop("cancelled");
      if (!outcome.ok()) {
        std::fprintf(stderr, "truvello: the setup of side %c (%s), `%s`, %s; the series stops here\n", side,
                     terminal_safe(ab.label(side)).c_str(), terminal_safe(setup).c_str(),
                     terminal_safe(outcome.text()).c_str());
        failed = true;
        return stop("setup-failed");
      }
      if (!settle(options.settle_seconds)) return stop("cancelled");
      std::optional<SeriesGoalView> goal_view;
      if (o.precision_percent) {
        goal_view = SeriesGoalView{index / 2 + 1, goal.target_percent, half_width, goal.max_time_seconds, elapsed()};
      }
      const RunOutcome& run = session.run(config, goal_view);
      ab.order += side;
      if (run.status == TRUVELLO_STATUS_FAILED) return stop("failed");
      if (!run.completed()) return stop("cancelled");
      return true;
    };

    for (std::size_t pair = 0; pair < planned_pairs; ++pair) {
      if (!run_side(2 * pair) || !run_side(2 * pair + 1)) break;
      if (!o.precision_percent) continue;
      std::vector<double> ratios;
      for (const AbPair& p : ab_pairs(session.invocation())) ratios.push_back(p.b / p.a);
      if (const auto estimate = estimate_series(ratios)) half_width = estimate->half_width_percent();
      // The next pair: two runs and their settles; setups take what they take.
      const double next = 2.0 * (planned_seconds(config) + options.settle_seconds);
      if (const auto reached = precision_stop(goal, ratios, elapsed(), next)) {
        ab.stopped = stop_key(*reached);
        break;
      }
    }
    restore_failed = !restore.run();
  }
  return session.finish(failed || restore_failed);
}

}  // namespace truvello::cli
