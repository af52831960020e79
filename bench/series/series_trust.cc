// How far a series of runs of the truvello command can be trusted, measured
// on the machine this runs on, for the old way of judging a series (every
// run with its full warm-up, geometric mean and Welch over all of them) and
// the new one (the robust series estimate, --precision):
//
// - time to trust: seconds of running until the score's 95 % interval is
//   within ±2 % and ±1 %, or not within the budget, per benchmark and trial;
// - false alarms: how often `compare` on two series of the same binary says
//   "faster" or "slower", and how often its gate (--fail-if-slower 5) fires;
// - detection: how often it says "slower" of a series slowed by a known
//   share, made real by stopping the command (SIGSTOP) for part of every
//   100 ms, and the ratio it measured.
//
// It runs the built command for many minutes and wants an otherwise idle
// machine: a benchmark, never a test. --smoke runs it for seconds, to check
// that it works.
//
//   truvello_series_bench [--cli PATH] [--warmup S] [--measure S] [--trials T]
//                         [--max-time S] [--series K] [--runs R] [--slowed N] [--smoke]
//
// Exit status 0 when every run of the command completed, 1 when one did not
// or the command cannot be used, 64 on a usage error.
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "commands/options.h"
#include "machine/machine_probe.h"
#include "statistics/score_inference.h"
#include "statistics/series_estimate.h"

#ifndef TRUVELLO_SERIES_BENCH_CLI
#define TRUVELLO_SERIES_BENCH_CLI ""
#endif

namespace truvello::series_bench {
namespace {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;

// The half-widths, in percent, whose time to reach is measured; --precision
// is asked for the tighter one.
constexpr double kTargets[] = {2.0, 1.0};
constexpr double kPrecisionTarget = 1.0;
// compare --fail-if-slower 5.
constexpr double kGatePercent = 5.0;
// The slowdowns made: the command is stopped for this share of every period.
constexpr double kDuties[] = {0.05, 0.10};
constexpr std::chrono::milliseconds kPausePeriod{100};
// The warm-up of a --precision series' later runs is at most this.
constexpr double kLaterWarmupCap = 2.0;
// Far more than any run asked for takes; only a hung command reaches it.
constexpr double kHangSlack = 120.0;

struct Options {
  std::string cli = TRUVELLO_SERIES_BENCH_CLI;
  double warmup = 1.0;
  double measure = 5.0;
  int trials = 3;          // time-to-trust trials per benchmark
  double max_time = 80.0;  // the budget of one time-to-trust series
  int series = 8;          // same-binary series: series * (series - 1) / 2 pairs
  int runs = 3;            // runs of each same-binary and slowed series
  int slowed = 4;          // slowed series per duty
  bool smoke = false;
};

// A failure to run the command, or output it should never give.
struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::string format(const char* pattern, auto... values) {
  char text[512];
  std::snprintf(text, sizeof text, pattern, values...);
  return text;
}

// ---------------------------------------------------------------------------
// The command's runs as its --json document gives them.

struct RunRecord {
  double score = 0.0;     // result.mean_rate
  double warmup = 0.0;    // result.warmup_seconds
  double measured = 0.0;  // result.measured_seconds
};

struct Series {
  std::vector<RunRecord> runs;
  double wall_seconds = 0.0;  // the command's whole life, as this process saw it
  json summary;               // the document's `series` entry of the benchmark, or null

  std::vector<double> scores() const {
    std::vector<double> out;
    for (const RunRecord& r : runs) out.push_back(r.score);
    return out;
  }
};

// A string member, or empty when it is missing or of another type.
std::string text_of(const json& object, const char* key) {
  return object.is_object() && object.contains(key) && object[key].is_string() ? object[key].get<std::string>() : "";
}

double positive_number(const json& object, const char* key, bool zero_allowed) {
  if (!object.is_object() || !object.contains(key) || !object[key].is_number()) {
    throw Failure(std::string("the command's JSON has no number ") + key + " in a run's result");
  }
  const double value = object[key].get<double>();
  if (!std::isfinite(value) || value < 0.0 || (!zero_allowed && value == 0.0)) {
    throw Failure(std::string("the command's JSON has an impossible ") + key);
  }
  return value;
}

Series parse_series(const std::string& text, const std::string& name) {
  const json document = json::parse(text, nullptr, false);
  if (document.is_discarded() || !document.is_object() || !document.contains("runs") || !document["runs"].is_array()) {
    throw Failure("the command did not print a run document");
  }
  Series s;
  for (const json& run : document["runs"]) {
    if (text_of(run, "name") != name) continue;
    if (text_of(run, "status_text") != "completed") {
      const std::string reason = text_of(run, "reason");
      throw Failure("a run of " + name + " did not complete: " + (reason.empty() ? "no reason given" : reason));
    }
    const json& result = run.contains("result") ? run["result"] : json();
    s.runs.push_back(RunRecord{positive_number(result, "mean_rate", false),
                               positive_number(result, "warmup_seconds", true),
                               positive_number(result, "measured_seconds", false)});
  }
  if (s.runs.empty()) throw Failure("the command's JSON holds no run of " + name);
  if (document.contains("series") && document["series"].is_array()) {
    for (const json& entry : document["series"]) {
      if (text_of(entry, "name") == name) s.summary = entry;
    }
  }
  return s;
}

// ---------------------------------------------------------------------------
// A slowdown of known size.

// Stops a process for a set share of every period with SIGSTOP and SIGCONT: a
// slowdown that is real to it (its clocks go on, its work does not) and needs
// nothing from it. The signals go through a pidfd, so that they can never
// reach another process that took over the id once the child has been
// reaped.
class Pauser {
 public:
  Pauser(pid_t pid, double duty) : duty_(duty) {
    pidfd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
    if (pidfd_ < 0) throw Failure("cannot pause the command: pidfd_open failed");
    thread_ = std::jthread([this](std::stop_token token) { loop(token); });
  }
  ~Pauser() {
    stop();
    close(pidfd_);
  }
  Pauser(const Pauser&) = delete;
  Pauser& operator=(const Pauser&) = delete;

  // Stops pausing, leaves the process running, and gives the share of the
  // time it was held stopped, as the clock saw it.
  double stop() {
    if (thread_.joinable()) {
      thread_.request_stop();
      thread_.join();
    }
    return total_ > Clock::duration::zero() ? std::chrono::duration<double>(held_) / total_ : 0.0;
  }
  // Whether it ran at real-time priority; read after stop().
  bool realtime() const { return realtime_; }

 private:
  bool send(int signo) const { return syscall(SYS_pidfd_send_signal, pidfd_, signo, nullptr, 0) == 0; }

  void loop(const std::stop_token& token) {
    // Woken late, the pauser would hold the process longer than asked; at
    // real-time priority it is woken on time even while other work keeps the
    // CPUs busy. Without the privilege it runs as it is, and the share held
    // still comes out right on average: see below.
    const sched_param param{.sched_priority = 1};
    realtime_ = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    const auto start = Clock::now();
    auto period_start = start;
    while (!token.stop_requested()) {
      // Each hold is what brings the share held so far, this period
      // included, to the duty: a hold that ran long shortens the next ones.
      const auto due =
          std::chrono::duration_cast<Clock::duration>(duty_ * (period_start + kPausePeriod - start)) - held_;
      if (due > Clock::duration::zero()) {
        if (!send(SIGSTOP)) break;  // the process has ended
        const auto held_from = Clock::now();
        std::this_thread::sleep_until(held_from + due);
        send(SIGCONT);
        held_ += Clock::now() - held_from;
      }
      // Periods missed by a late wake-up are dropped, not caught up.
      period_start = std::max(period_start + kPausePeriod, Clock::now());
      std::this_thread::sleep_until(period_start);
    }
    total_ = Clock::now() - start;
  }

  double duty_;
  int pidfd_ = -1;
  bool realtime_ = false;
  Clock::duration held_{};
  Clock::duration total_{};
  std::jthread thread_;  // last: it reads the members above
};

// ---------------------------------------------------------------------------
// Running the command.

struct Recorded {
  Series series;
  std::optional<double> achieved_duty;  // with a pauser
  bool pauser_realtime = false;
};

// Runs the command with `args` for the runs of `name`; `planned` is how long
// it should take, `duty` the share of the time it is held stopped.
Recorded record(const Options& o, const std::vector<std::string>& args, const std::string& name, double planned,
                std::optional<double> duty = std::nullopt) {
  std::vector<std::string> argv{o.cli};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string line = "series_bench: truvello";
  for (std::size_t i = 1; i < argv.size(); ++i) line += " " + argv[i];
  if (duty) line += format(" (stopped %.0f %% of the time)", 100.0 * *duty);
  std::fprintf(stderr, "%s\n", line.c_str());

  const auto limit = std::chrono::seconds(static_cast<long>(2.0 * planned + kHangSlack));
  const auto start = Clock::now();
  Recorded out;
  testing::Finished done;
  try {
    testing::ChildProcess child(argv, testing::ChildProcess::Output::kPipes);
    std::optional<Pauser> pauser;
    if (duty) pauser.emplace(child.pid(), *duty);
    done = child.finish(limit);
    if (pauser) {
      out.achieved_duty = pauser->stop();
      out.pauser_realtime = pauser->realtime();
    }
  } catch (const Failure&) {
    throw;
  } catch (const std::runtime_error& e) {
    throw Failure(std::string("cannot run ") + o.cli + ": " + e.what());
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  if (done.hung) throw Failure("the command hung: " + line);
  if (done.status != 0) {
    const std::string first_line = done.err.substr(0, done.err.find('\n'));
    throw Failure(format("the command ended with status %d: %s", done.status, first_line.c_str()));
  }
  out.series = parse_series(done.out, name);
  out.series.wall_seconds = wall;
  std::string scores;
  for (const RunRecord& r : out.series.runs) scores += format(" %.0f", r.score);
  std::fprintf(stderr, "series_bench:   %.1f s, scores%s", wall, scores.c_str());
  if (out.achieved_duty) std::fprintf(stderr, ", held %.1f %%", 100.0 * *out.achieved_duty);
  std::fprintf(stderr, "\n");
  return out;
}

std::vector<std::string> run_args(const Options& o, const std::string& name) {
  return {"--" + name, "--warmup", format("%g", o.warmup), "--measure", format("%g", o.measure), "--json", "-q"};
}

bool command_has_precision(const Options& o) {
  const auto help = testing::run_to_end({o.cli, "--help"});
  return help && help->status == 0 && help->out.find("--precision") != std::string::npos;
}

std::string command_version(const Options& o) {
  const auto version = testing::run_to_end({o.cli, "--version"});
  if (!version || version->status != 0) throw Failure("cannot run " + o.cli + " --version");
  return version->out.substr(0, version->out.find('\n'));
}

// ---------------------------------------------------------------------------
// Time to trust.

// Half the 95 % interval's width over the score, in percent.
using HalfWidth = std::function<std::optional<double>(std::span<const double>)>;

// The old way: every run, geometric mean, Student's t on their spread.
std::optional<double> old_half_width(std::span<const double> scores) {
  const auto log_score = cli::run_scores(scores);
  if (!log_score) return std::nullopt;
  const double half =
      cli::student_t_quantile(0.5 + cli::kConfidence / 2.0, log_score->df) * std::sqrt(log_score->variance);
  return 100.0 * std::sinh(half);  // (e^{m+h} - e^{m-h}) / (2 e^m), as the series estimate gives it
}

std::optional<double> new_half_width(std::span<const double> scores) {
  const auto estimate = cli::estimate_series(scores);
  return estimate ? estimate->half_width_percent() : std::nullopt;
}

// Seconds the command had run when each run ended: the runs' own warm-ups and
// windows, plus the rest of its measured wall clock (start-up, machine
// probing, the gaps between runs) shared evenly between them.
// `later_warmup` replaces the warm-up of every run but the first: a --repeat
// series recomputed as --precision runs it.
std::vector<double> elapsed_after_each(const Series& s, std::optional<double> later_warmup) {
  double in_runs = 0.0;
  for (const RunRecord& r : s.runs) in_runs += r.warmup + r.measured;
  const double overhead = std::max(0.0, s.wall_seconds - in_runs) / static_cast<double>(s.runs.size());
  std::vector<double> out;
  double elapsed = 0.0;
  for (std::size_t i = 0; i < s.runs.size(); ++i) {
    const double warmup = i > 0 && later_warmup ? std::min(s.runs[i].warmup, *later_warmup) : s.runs[i].warmup;
    elapsed += warmup + s.runs[i].measured + overhead;
    out.push_back(elapsed);
  }
  return out;
}

// When the interval of the runs so far first reached ±target, looked at after
// every run from the least a series stops at; absent when not within budget.
std::optional<double> time_to(const Series& s, const std::vector<double>& elapsed, const HalfWidth& half_width,
                              double target, double budget) {
  const std::vector<double> scores = s.scores();
  for (std::size_t k = cli::kMinSeriesRuns; k <= scores.size() && elapsed[k - 1] <= budget; ++k) {
    const auto half = half_width(std::span<const double>(scores).first(k));
    if (half && *half <= target) return elapsed[k - 1];
  }
  return std::nullopt;
}

// One trial's times to each target, in kTargets order.
using TrialTimes = std::vector<std::optional<double>>;

// "median 31 s, 2/3 within 80 s: 24, 31, >80".
std::string times_text(const std::vector<std::optional<double>>& times, double budget) {
  const double never = std::numeric_limits<double>::infinity();
  std::vector<double> sorted;
  std::string list;
  int within = 0;
  for (const auto& t : times) {
    sorted.push_back(t.value_or(never));
    within += t ? 1 : 0;
    list += (list.empty() ? "" : ", ") + (t ? format("%.0f", *t) : format(">%.0f", budget));
  }
  std::sort(sorted.begin(), sorted.end());
  const double median = sorted[(sorted.size() - 1) / 2];
  const std::string median_text = std::isfinite(median) ? format("%.0f s", median) : format(">%.0f s", budget);
  return format("median %s, %d/%zu within %.0f s: %s", median_text.c_str(), within, times.size(), budget, list.c_str());
}

struct Row {
  std::string figure;
  std::string before;
  std::string after;
};

// The --precision series' own account of when it reached its target.
std::optional<double> precision_elapsed(const Series& s) {
  const json& precision = s.summary.is_object() && s.summary.contains("precision") ? s.summary["precision"] : json();
  if (!precision.is_object() || !precision.contains("reached") || !precision["reached"].is_boolean() ||
      !precision.contains("elapsed_seconds") || !precision["elapsed_seconds"].is_number()) {
    throw Failure("the command's JSON has no series.precision with reached and elapsed_seconds");
  }
  if (!precision["reached"].get<bool>()) return std::nullopt;
  return precision["elapsed_seconds"].get<double>();
}

void time_to_trust(const Options& o, bool has_precision, std::vector<Row>& rows) {
  // As many full runs as the budget holds: the old way has no stopping rule.
  const int repeat = std::max(static_cast<int>(cli::kMinSeriesRuns),
                              static_cast<int>(std::floor(o.max_time / (o.warmup + o.measure))));
  for (const char* name : {"single", "all-cpus"}) {
    std::vector<TrialTimes> before, after;
    for (int trial = 0; trial < o.trials; ++trial) {
      std::vector<std::string> args = run_args(o, name);
      args.insert(args.end(), {"--repeat", std::to_string(repeat)});
      const Series full = record(o, args, name, repeat * (o.warmup + o.measure)).series;
      const auto full_elapsed = elapsed_after_each(full, std::nullopt);
      TrialTimes old_times, new_times;
      for (const double target : kTargets) {
        old_times.push_back(time_to(full, full_elapsed, old_half_width, target, o.max_time));
      }
      if (has_precision) {
        args = run_args(o, name);
        args.insert(args.end(),
                    {"--precision", format("%g", kPrecisionTarget), "--max-time", format("%g", o.max_time)});
        const Series precise = record(o, args, name, o.max_time).series;
        const auto elapsed = elapsed_after_each(precise, std::nullopt);
        for (const double target : kTargets) {
          new_times.push_back(target == kPrecisionTarget
                                  ? precision_elapsed(precise)
                                  : time_to(precise, elapsed, new_half_width, target, o.max_time));
        }
      } else {
        const auto elapsed = elapsed_after_each(full, kLaterWarmupCap);
        for (const double target : kTargets) {
          new_times.push_back(time_to(full, elapsed, new_half_width, target, o.max_time));
        }
      }
      before.push_back(old_times);
      after.push_back(new_times);
    }
    for (std::size_t t = 0; t < std::size(kTargets); ++t) {
      std::vector<std::optional<double>> b, a;
      for (int trial = 0; trial < o.trials; ++trial) {
        b.push_back(before[trial][t]);
        a.push_back(after[trial][t]);
      }
      rows.push_back(
          {format("%s: time to ±%g %%", name, kTargets[t]), times_text(b, o.max_time), times_text(a, o.max_time)});
    }
  }
}

// ---------------------------------------------------------------------------
// False alarms and detection.

std::optional<cli::LogScore> old_log_score(const Series& s) {
  const std::vector<double> scores = s.scores();
  return cli::run_scores(scores);
}

std::optional<cli::LogScore> new_log_score(const Series& s) {
  const std::vector<double> scores = s.scores();
  const auto estimate = cli::estimate_series(scores);
  return estimate ? estimate->log_score : std::nullopt;
}

// Verdicts of `compare` over many baseline / candidate pairs.
struct Tally {
  int pairs = 0;
  int differed = 0;  // "faster" or "slower"
  int slower = 0;
  int gated = 0;     // --fail-if-slower 5 would fail
  int unjudged = 0;  // a side without an interval
  double ratio_sum = 0.0;

  void add(const std::optional<cli::LogScore>& baseline, const std::optional<cli::LogScore>& candidate) {
    ++pairs;
    if (!baseline || !candidate) {
      ++unjudged;
      return;
    }
    const cli::RatioInterval r = cli::compare_log_scores(*baseline, *candidate);
    differed += r.verdict != cli::Verdict::kSame ? 1 : 0;
    slower += r.verdict == cli::Verdict::kSlower ? 1 : 0;
    gated += r.verdict == cli::Verdict::kSlower && r.ratio < 1.0 - kGatePercent / 100.0 ? 1 : 0;
    ratio_sum += r.ratio;
  }

  std::string rate(int count) const {
    std::string text = format("%d/%d = %.1f %%", count, pairs, pairs > 0 ? 100.0 * count / pairs : 0.0);
    if (unjudged > 0) text += format(" (%d unjudged)", unjudged);
    return text;
  }
  std::string mean_ratio() const {
    const int judged = pairs - unjudged;
    return judged > 0 ? format("%.3f", ratio_sum / judged) : "none";
  }
};

struct Slowed {
  double duty = 0.0;
  std::vector<Series> series;
  std::vector<double> achieved;
  bool realtime = true;  // every pauser ran at real-time priority
};

void false_alarms_and_detection(const Options& o, std::vector<Row>& rows, std::vector<std::string>& notes) {
  std::vector<std::string> args = run_args(o, "single");
  args.insert(args.end(), {"--repeat", std::to_string(o.runs)});
  const double planned = o.runs * (o.warmup + o.measure);

  // Interleaved, so that a slow hour of the host falls on both kinds alike.
  std::vector<Series> same;
  std::vector<Slowed> slowed;
  for (const double duty : kDuties) slowed.push_back({duty, {}, {}});
  for (int i = 0; i < std::max(o.series, o.slowed); ++i) {
    if (i < o.series) same.push_back(record(o, args, "single", planned).series);
    for (Slowed& s : slowed) {
      if (i >= o.slowed) continue;
      Recorded r = record(o, args, "single", planned, s.duty);
      s.series.push_back(std::move(r.series));
      s.achieved.push_back(r.achieved_duty.value_or(0.0));
      s.realtime = s.realtime && r.pauser_realtime;
    }
  }

  // Same-binary pairs, the earlier series as the baseline, as a CI job compares.
  Tally aa_old, aa_new;
  for (std::size_t i = 0; i < same.size(); ++i) {
    for (std::size_t j = i + 1; j < same.size(); ++j) {
      aa_old.add(old_log_score(same[i]), old_log_score(same[j]));
      aa_new.add(new_log_score(same[i]), new_log_score(same[j]));
    }
  }
  rows.push_back({"A/A: verdict faster or slower", aa_old.rate(aa_old.differed), aa_new.rate(aa_new.differed)});
  rows.push_back({format("A/A: gate --fail-if-slower %g fired", kGatePercent), aa_old.rate(aa_old.gated),
                  aa_new.rate(aa_new.gated)});
  if (aa_old.pairs < 20) notes.push_back(format("only %d same-binary pairs: give --series 7 or more", aa_old.pairs));

  for (const Slowed& s : slowed) {
    Tally old_tally, new_tally;
    for (const Series& baseline : same) {
      for (const Series& candidate : s.series) {
        old_tally.add(old_log_score(baseline), old_log_score(candidate));
        new_tally.add(new_log_score(baseline), new_log_score(candidate));
      }
    }
    const auto [low, high] = std::minmax_element(s.achieved.begin(), s.achieved.end());
    double mean = 0.0;
    for (const double d : s.achieved) mean += d / static_cast<double>(s.achieved.size());
    const std::string what =
        format("slowed %.0f %% (held %.1f %%, %.1f-%.1f)", 100.0 * s.duty, 100.0 * mean, 100.0 * *low, 100.0 * *high);
    rows.push_back({what + ": verdict slower", old_tally.rate(old_tally.slower), new_tally.rate(new_tally.slower)});
    rows.push_back({what + format(": gate %g fired", kGatePercent), old_tally.rate(old_tally.gated),
                    new_tally.rate(new_tally.gated)});
    rows.push_back(
        {what + format(": mean ratio (expect %.3f)", 1.0 - mean), old_tally.mean_ratio(), new_tally.mean_ratio()});
  }
  notes.push_back(
      format("A/A: %zu series of --single --repeat %d, every pair (earlier one the baseline)", same.size(), o.runs));
  notes.push_back(
      format("slowed: %d series per share, each against every A/A series; 'held' is the share of the time the command "
             "was stopped by SIGSTOP as the clock saw it (mean, min-max), in periods of %lld ms",
             o.slowed, static_cast<long long>(kPausePeriod.count())));
  if (!std::all_of(slowed.begin(), slowed.end(), [](const Slowed& s) { return s.realtime; })) {
    notes.push_back(
        "the pauser could not take real-time priority (run as root for it): its holds were longer "
        "and fewer, the share held the same on average");
  }
}

// ---------------------------------------------------------------------------
// The table.

void print_table(const std::vector<std::string>& header, const std::vector<Row>& rows,
                 const std::vector<std::string>& notes) {
  std::size_t w_figure = 6, w_before = 6;
  for (const Row& r : rows) {
    w_figure = std::max(w_figure, r.figure.size());
    w_before = std::max(w_before, r.before.size());
  }
  const auto width = [](std::size_t w) { return static_cast<int>(w); };
  for (const std::string& line : header) std::printf("%s\n", line.c_str());
  std::printf("\n%-*s  %-*s  %s\n", width(w_figure), "figure", width(w_before), "before", "after");
  for (const Row& r : rows) {
    std::printf("%-*s  %-*s  %s\n", width(w_figure), r.figure.c_str(), width(w_before), r.before.c_str(),
                r.after.c_str());
  }
  if (!notes.empty()) std::printf("\n");
  for (const std::string& line : notes) std::printf("note: %s\n", line.c_str());
  std::fflush(stdout);
}

std::string load_text(const cli::MachineContext& m) {
  return m.load ? format("%.2f %.2f %.2f", m.load->one, m.load->five, m.load->fifteen) : "unknown";
}

// ---------------------------------------------------------------------------
// The command line.

std::optional<double> number_arg(const std::string& text) {
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

constexpr const char* kUsage =
    "usage: truvello_series_bench [--cli PATH] [--warmup S] [--measure S] [--trials T] [--max-time S]\n"
    "                             [--series K] [--runs R] [--slowed N] [--smoke]\n";

// Bounds that keep a typo from planning years of runs.
constexpr double kLongest = 86400.0;  // seconds
constexpr double kMostCount = 10000.0;

// Fills `o`; a message for a usage error, or nothing.
std::optional<std::string> parse(const std::vector<std::string>& args, Options& o) {
  // --smoke sets every length first, so that options given with it win.
  if (std::find(args.begin(), args.end(), "--smoke") != args.end()) {
    o.smoke = true;
    o.warmup = 0.1;
    o.measure = 0.4;
    o.trials = 1;
    o.max_time = 3.0;
    o.series = 4;
    o.slowed = 2;
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--smoke") continue;
    if (a == "--help" || a == "-h") return std::string();
    if (i + 1 >= args.size()) return "missing value after " + a;
    const std::string& v = args[++i];
    if (a == "--cli") {
      o.cli = v;
      continue;
    }
    const auto value = number_arg(v);
    if (!value) return a + " needs a number, not '" + v + "'";
    const bool whole = *value == std::floor(*value) && *value <= kMostCount;
    const bool length = *value <= kLongest;
    if (a == "--warmup" && length && *value >= 0.0) {
      o.warmup = *value;
    } else if (a == "--measure" && length && *value > 0.0) {
      o.measure = *value;
    } else if (a == "--max-time" && length && *value > 0.0) {
      o.max_time = *value;
    } else if (a == "--trials" && whole && *value >= 1.0) {
      o.trials = static_cast<int>(*value);
    } else if (a == "--series" && whole && *value >= 2.0) {
      o.series = static_cast<int>(*value);
    } else if (a == "--runs" && whole && *value >= static_cast<double>(cli::kMinSeriesRuns)) {
      o.runs = static_cast<int>(*value);
    } else if (a == "--slowed" && whole && *value >= 1.0) {
      o.slowed = static_cast<int>(*value);
    } else if (a == "--warmup" || a == "--measure" || a == "--max-time" || a == "--trials" || a == "--series" ||
               a == "--runs" || a == "--slowed") {
      return a + " " + v + " is out of range";
    } else {
      return "unknown option " + a;
    }
  }
  return std::nullopt;
}

int run(const Options& o) {
  if (o.cli.empty() || access(o.cli.c_str(), X_OK) != 0) {
    std::fprintf(stderr, "truvello_series_bench: no truvello command at '%s' (give --cli PATH)\n", o.cli.c_str());
    return kExitFailed;
  }
  const cli::MachineContext at_start = cli::probe_machine();
  std::vector<Row> rows;
  std::vector<std::string> notes;
  std::string version;
  bool has_precision = false;
  try {
    version = command_version(o);
    has_precision = command_has_precision(o);
    const double run_seconds = o.warmup + o.measure;
    const double planned = 2.0 * o.trials * o.max_time * (has_precision ? 2.0 : 1.0) +
                           (o.series + o.slowed * static_cast<double>(std::size(kDuties))) * o.runs * run_seconds;
    std::fprintf(stderr, "series_bench: about %.0f s of runs at most\n", planned);
    time_to_trust(o, has_precision, rows);
    false_alarms_and_detection(o, rows, notes);
  } catch (const Failure& e) {
    std::fprintf(stderr, "truvello_series_bench: %s\n", e.what());
    return kExitFailed;
  }
  const cli::MachineContext at_end = cli::probe_machine();

  std::vector<std::string> header{
      "truvello series benchmark" + std::string(o.smoke ? " (smoke run: figures mean nothing)" : ""),
      format("machine: %s, %u online CPUs, hypervisor %s",
             at_start.cpu_model.empty() ? "unknown CPU" : at_start.cpu_model.c_str(), at_start.online_cpus,
             at_start.hypervisor ? "yes" : "no"),
      "load average: " + load_text(at_start) + " at start, " + load_text(at_end) + " at end",
      "command: " + o.cli + " (" + version + ")",
      format("runs of %g s warm-up + %g s measurement; time to trust over %d trial%s per benchmark, budget %g s",
             o.warmup, o.measure, o.trials, o.trials == 1 ? "" : "s", o.max_time)};
  notes.insert(notes.begin(),
               format("before: one --repeat series of full runs per trial; its interval (geometric mean, "
                      "Student's t over every run) looked at after each run from run %zu on",
                      cli::kMinSeriesRuns));
  notes.insert(notes.begin() + 1,
               has_precision
                   ? format("after: truvello --precision %g --max-time %g per trial; ±%g %% as the command "
                            "reported it, ±2 %% from its runs' series estimate",
                            kPrecisionTarget, o.max_time, kPrecisionTarget)
                   : format("after: recomputed from the same --repeat series (the command has no --precision): "
                            "the series estimate after each run, later runs counted with a warm-up of at most %g s",
                            kLaterWarmupCap));
  notes.insert(notes.begin() + 2,
               "times: the runs' warm-ups and windows plus the command's measured wall clock around them; "
               "verdicts: compare's 95 % interval of the ratio, old = every run, new = the series estimate");
  print_table(header, rows, notes);
  return 0;
}

}  // namespace
}  // namespace truvello::series_bench

int main(int argc, char** argv) {
  namespace sb = truvello::series_bench;
  sb::Options options;
  if (const auto problem = sb::parse(std::vector<std::string>(argv + 1, argv + argc), options)) {
    if (problem->empty()) {
      std::printf("%s", sb::kUsage);
      return 0;
    }
    std::fprintf(stderr, "truvello_series_bench: %s\n%s", problem->c_str(), sb::kUsage);
    return sb::kExitUsage;
  }
  return sb::run(options);
}
