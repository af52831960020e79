#pragma once

#include <optional>
#include <string>
#include <vector>

#include "run_defaults.h"
#include "statistics/series_estimate.h"
#include "truvello.h"

namespace truvello::cli {

// Exit statuses of the command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitGateFailed = 1;  // compare: a candidate is slower than --fail-if-slower allows
inline constexpr int kExitFailed = 2;      // a run failed, or an input file cannot be used
inline constexpr int kExitUsage = 64;      // as sysexits' EX_USAGE

// The default budget of one benchmark's --precision series: seven runs of
// the library's default lengths fit (the first with its full warm-up).
inline constexpr double kDefaultMaxTimeSeconds = 600.0;

// What the user asked for on the command line.
struct Options {
  bool single = false;    // --single
  bool all_cpus = false;  // --all-cpus
  bool quick = false;     // --quick: short lengths for a first look
  std::optional<double> warmup_seconds;
  std::optional<double> measurement_seconds;
  unsigned repeat = 1;  // --repeat: runs of each selected benchmark, in a row
  // --precision: run each selected benchmark until the half-width of its
  // score's 95 % interval is at most this many percent of the score.
  std::optional<double> precision_percent;
  // --max-time: the time one benchmark's series may take under --precision.
  double max_time_seconds = kDefaultMaxTimeSeconds;
  bool quiet = false;
  bool json = false;
  bool version = false;
  std::string export_json;
  std::string export_csv;
  std::string export_markdown;
  std::string export_html;
  std::string export_prometheus;  // --export-prometheus: the text format, written atomically
  bool anonymous = false;         // --anonymous: no host name or machine identity in any output

  // The configuration every run starts from: explicit lengths win over
  // --quick, which wins over the library's defaults.
  truvello_config base_config(const truvello_config& defaults) const;
  // The selected benchmarks in the order they run: neither --single nor
  // --all-cpus means both, single first.
  std::vector<std::uint32_t> benchmarks() const;

  // The configuration of every run, in order, starting from the library's
  // defaults. Explicit lengths win over --quick, which wins over the
  // defaults; neither --single nor --all-cpus means both, single first.
  // Each benchmark appears `repeat` times in a row.
  std::vector<truvello_config> configs(const truvello_config& defaults) const;
};

// `truvello report RUN.json`: the summary of a saved run, printed again.
struct ReportOptions {
  std::string file;
  std::string export_html;        // empty: no HTML report
  std::string export_prometheus;  // empty: no Prometheus text
};

// `truvello compare BASELINE.json CANDIDATE.json...`.
struct CompareOptions {
  std::string baseline;
  std::vector<std::string> candidates;
  std::optional<double> fail_if_slower_percent;  // the gate; absent: never fails
  bool json = false;
  std::string export_markdown;
  std::string export_html;  // empty: no HTML report
};

// `truvello fleet PATH...`: saved runs of many machines, grouped.
struct FleetOptions {
  std::vector<std::string> paths;  // files, and directories searched for *.json
  bool json = false;
  std::string export_markdown;
  std::string export_html;
};
// `truvello ab --setup-a CMD --setup-b CMD`: one benchmark on one machine in
// two settings, measured in turns (main/ab_session.h).
struct AbOptions {
  // The benchmark (--single, the default, or --all-cpus), the lengths,
  // --repeat (pairs here), --precision, --max-time, --quiet, --json and the
  // JSON, Markdown and HTML exports.
  Options run;
  std::string setup_a;
  std::string setup_b;
  std::string restore;  // empty: none
  std::string label_a = "A";
  std::string label_b = "B";
  double settle_seconds = 0.0;
  std::optional<std::uint32_t> seed;  // absent: drawn, then printed
  bool repeat_given = false;          // --repeat on the command line
};
inline constexpr unsigned kDefaultAbPairs = 4;
inline constexpr unsigned kMinAbPairs = 2;  // one pair gives a ratio but no interval
inline constexpr double kMaxSettleSeconds = 3600.0;
inline constexpr std::size_t kMaxLabelBytes = 64;

inline constexpr double kQuickWarmupSeconds = 2.0;
inline constexpr double kQuickMeasurementSeconds = 5.0;
// More runs than anyone waits for; the bound keeps a typo from planning years.
inline constexpr unsigned kMaxRepeat = 10000;

// The result of reading the command line: either options to run with, a
// subcommand's options, or an exit with the text to print (help on stdout,
// usage errors on stderr).
struct ParsedCommandLine {
  std::optional<Options> options;
  std::optional<ReportOptions> report;
  std::optional<CompareOptions> compare;
  std::optional<FleetOptions> fleet;
  std::optional<AbOptions> ab;
  int exit_code = kExitOk;
  std::string out;
  std::string err;
};

// `args` excludes the program name. Only the shape of the command line is
// checked here; whether a length makes sense is for the library to say.
ParsedCommandLine parse_command_line(const std::vector<std::string>& args);

}  // namespace truvello::cli
