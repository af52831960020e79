#include "commands/options.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>
#include <span>

#include "commands/session_outputs.h"
#include "statistics/precision_goal.h"
#include "statistics/warnings.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

std::string footer() {
  return "Without --single or --all-cpus both benchmarks run, single first, with the\n"
         "library's defaults (" +
         length_text(kDefaultWarmupSeconds) + " warm-up, " + length_text(kDefaultMeasurementSeconds) +
         " measurement). Ctrl-C cancels; what\n"
         "was measured so far is still shown and exported.\n"
         "\n"
         "With --precision each benchmark runs until its score is known to within\n"
         "PCT percent or until its next run would pass --max-time; runs after the\n"
         "first warm up for " +
         length_text(kLaterWarmupSeconds) +
         " (or --warmup, if shorter). Runs far off the others are\n"
         "named disturbed and left out of the score.\n"
         "\n"
         "Subcommands: `truvello report RUN.json` shows a saved run again;\n"
         "`truvello compare BASELINE.json CANDIDATE.json...` compares saved runs;\n"
         "`truvello fleet PATH...` finds the machines slower than their peers.\n"
         "`truvello ab --setup-a CMD --setup-b CMD` measures two settings in turns.\n"
         "\n"
         "Exit statuses: see truvello(1), EXIT STATUS.";
}

// A length in the help's own words: 120 gives "120".
std::string number_text(double value) { return fmt::format("{:g}", value); }

// A number within [low, high]; unlike CLI::Range it refuses NaN.
CLI::Validator finite_range(double low, double high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        double value = 0.0;
        if (!CLI::detail::lexical_cast(text, value) || !(value >= low && value <= high)) {
          return "Value " + text + " not in range [" + number_text(low) + " - " + number_text(high) + "]";
        }
        return "";
      },
      "NUMBER in [" + number_text(low) + " - " + number_text(high) + "]");
}

// How `truvello` and `truvello ab` differ in the run options they share:
// the words of the help, whether the two benchmarks exclude each other, the
// count and least count of --repeat, and the exports offered.
struct RunOptionWords {
  const char* single;
  const char* all_cpus;
  bool one_benchmark;  // --single and --all-cpus exclude each other
  std::string warmup;
  std::string measure;
  const char* quick;  // before the short lengths
  unsigned repeat;    // --repeat's default
  unsigned least_repeat;
  std::string repeat_help;
  std::string precision;
  const char* max_time_bounds;  // what --max-time bounds
  const char* json;
  std::span<const ExportOffer> exports;
};

// The options of a command that measures: which benchmark, the lengths,
// --quick, --repeat, --precision, --max-time, --quiet, --json and the
// exports, added to the run command or a subcommand in one order.
void add_run_options(CLI::App& app, Options& o, const RunOptionWords& words) {
  o.repeat = words.repeat;
  CLI::Option* single = app.add_flag("--single", o.single, words.single);
  CLI::Option* all_cpus = app.add_flag("--all-cpus", o.all_cpus, words.all_cpus);
  if (words.one_benchmark) all_cpus->excludes(single);
  app.add_option("--warmup", o.warmup_seconds, words.warmup)->type_name("SECONDS");
  app.add_option("--measure", o.measurement_seconds, words.measure)->type_name("SECONDS");
  app.add_flag("--quick", o.quick,
               words.quick + length_text(kQuickWarmupSeconds) + " warm-up and " +
                   length_text(kQuickMeasurementSeconds) + " measurement");
  app.add_option("--repeat", o.repeat, words.repeat_help)
      ->type_name("N")
      ->check(CLI::Range(words.least_repeat, kMaxRepeat));
  CLI::Option* precision = app.add_option("--precision", o.precision_percent, words.precision)
                               ->type_name("PCT")
                               ->check(finite_range(0.01, 100.0));
  app.add_option("--max-time", o.max_time_seconds,
                 std::string("With --precision: the most time ") + words.max_time_bounds + " may take (default " +
                     number_text(kDefaultMaxTimeSeconds) + ")")
      ->type_name("SECONDS")
      ->check(finite_range(1.0, 1e7))
      ->needs(precision);
  app.add_flag("-q,--quiet", o.quiet, "No progress output on stderr");
  app.add_flag("--json", o.json, words.json);
  for (const ExportOffer& offer : words.exports) {
    app.add_option(offer.option, o.*offer.path, offer.help)->type_name("FILE");
  }
}

// --json, --export-markdown and --export-html of a command that shows saved
// runs: `what` it shows, and what its HTML report holds.
void add_view_outputs(CLI::App& app, bool& json, std::string& markdown, std::string& html, const std::string& what,
                      const std::string& html_holds) {
  app.add_flag("--json", json, "Print " + what + " as one JSON document on stdout");
  app.add_option("--export-markdown", markdown, "Also write " + what + " as Markdown to FILE")->type_name("FILE");
  app.add_option("--export-html", html, "Also write an HTML report to FILE: " + html_holds)->type_name("FILE");
}

constexpr const char* kCompareFooter = R"(For each benchmark in both files and each candidate: the scores, the ratio
candidate / baseline with its 95 % confidence interval, and a verdict
(faster, slower, or no significant difference). A side of two or more
completed runs is scored by its series: runs a busy machine spoiled are
named and left out, and the interval comes from the spread of the others.
With one run on a side the interval comes from batch means of its
per-second rates, and the verdict is about these runs only.
--fail-if-slower judges series of at least 3 runs a side (--repeat 3 or
--precision PCT) and refuses fewer.

One side of an A/B series (`truvello ab --export-json AB.json`) is named
AB.json#A or AB.json#B: `truvello compare AB.json#A AB.json#B` compares its
sides as two series, unpaired.

Exit statuses: see truvello(1), EXIT STATUS.)";

constexpr const char* kFleetFooter = R"(Runs are grouped by CPU model, online CPU count and library version. Each
machine counts once, with its latest document (by its end time, else the
file's modification time); a machine is known by the identity its documents
record, else its host name, else the file's path. Per group and benchmark:
machines, median score, 10th and 90th percentiles. A machine is named when
its score lies more than 3 robust spreads (MADs) and more than 5 % below its
group's median, in a group of at least 3 machines; one whose run was
unstable, disturbed or warned of a busy or limited machine is named a
measurement problem rather than a slow machine. Files that cannot be read
are listed on stderr, one line each, and counted.

Exit statuses: see truvello(1), EXIT STATUS.)";
constexpr const char* kAbFooter = R"(Runs one benchmark (--single, the default, or --all-cpus) in turns on side A
and side B, in blocks ABBA or BAAB; the first block is drawn from --seed
(printed, and kept in the JSON), so that a slow spell or a steady drift of
the machine falls on both sides alike. Before each run the side's setup runs
as `/bin/sh -c CMD`, as the user who runs truvello, with TRUVELLO_PID (this
process) and TRUVELLO_SIDE (A or B) in its environment; then the command
waits --settle seconds. The restore runs exactly once at the end, whatever
ended the series (with TRUVELLO_PID, without TRUVELLO_SIDE).

Each pair of neighbouring runs gives the ratio B / A; the verdict and the
95 % interval of B / A come from those ratios (Student's t over their logs),
so that what moves both runs of a pair cancels. A pair far off the others is
named and left out. One pair gives a ratio but no interval: use at least 2.

Exit statuses: see truvello(1), EXIT STATUS.)";

// The `ab` subcommand, its options written into `ab`.
CLI::App* add_ab_subcommand(CLI::App& app, AbOptions& ab) {
  CLI::App* sub =
      app.add_subcommand("ab", "Which of two settings is faster: A and B measured in turns, judged by pairs");
  sub->footer(kAbFooter);
  sub->add_option("--setup-a", ab.setup_a, "Shell command that puts the machine in setting A before each A run")
      ->required()
      ->type_name("CMD")
      ->check(CLI::Validator([](std::string& t) { return t.empty() ? "must not be empty" : ""; }, "CMD"));
  sub->add_option("--setup-b", ab.setup_b, "Shell command that puts the machine in setting B before each B run")
      ->required()
      ->type_name("CMD")
      ->check(CLI::Validator([](std::string& t) { return t.empty() ? "must not be empty" : ""; }, "CMD"));
  sub->add_option("--restore", ab.restore, "Shell command run once at the end to put the machine back")
      ->type_name("CMD");
  const CLI::Validator label(
      [](std::string& t) -> std::string {
        if (t.empty()) return "a label must not be empty";
        if (t.size() > kMaxLabelBytes) return "a label has at most " + std::to_string(kMaxLabelBytes) + " bytes";
        return "";
      },
      "NAME");
  sub->add_option("--label-a", ab.label_a, "What to call side A (default A)")->type_name("NAME")->check(label);
  sub->add_option("--label-b", ab.label_b, "What to call side B (default B)")->type_name("NAME")->check(label);
  sub->add_option("--settle", ab.settle_seconds, "Seconds to wait after each setup before the run (default 0)")
      ->type_name("SECONDS")
      ->check(finite_range(0.0, kMaxSettleSeconds));
  sub->add_option("--seed", ab.seed, "Seed of the order, to repeat one (default: drawn and printed)")
      ->type_name("N")
      ->check(CLI::Range(0u, 4294967295u));
  // One benchmark, compared on both sides; --repeat counts pairs.
  add_run_options(*sub, ab.run,
                  RunOptionWords{
                      .single = "Compare on benchmark 1: one worker thread (the default)",
                      .all_cpus = "Compare on benchmark 2: one worker per online CPU",
                      .one_benchmark = true,
                      .warmup = "Warm-up length of every run in seconds",
                      .measure = "Measurement window of every run in seconds",
                      .quick = "Short runs: ",
                      .repeat = kDefaultAbPairs,
                      .least_repeat = kMinAbPairs,
                      .repeat_help = "Pairs to run (default " + std::to_string(kDefaultAbPairs) + ", at least " +
                                     std::to_string(kMinAbPairs) + "); with --precision, the fewest",
                      .precision = "Run pairs until B / A is known to +/-PCT % (95 % interval); at least " +
                                   std::to_string(kMinSeriesRuns) + " pairs, or --repeat N",
                      .max_time_bounds = "the series",
                      .json = "Print the JSON document on stdout instead of the summary",
                      .exports = ab_outputs().exports,
                  });
  return sub;
}

}  // namespace

truvello_config Options::base_config(const truvello_config& defaults) const {
  truvello_config base = defaults;
  if (quick) {
    base.warmup_seconds = kQuickWarmupSeconds;
    base.measurement_seconds = kQuickMeasurementSeconds;
  }
  if (warmup_seconds) base.warmup_seconds = *warmup_seconds;
  if (measurement_seconds) base.measurement_seconds = *measurement_seconds;
  return base;
}

std::vector<std::uint32_t> Options::benchmarks() const {
  const bool both = !single && !all_cpus;
  std::vector<std::uint32_t> out;
  if (both || single) out.push_back(TRUVELLO_BENCHMARK_SINGLE);
  if (both || all_cpus) out.push_back(TRUVELLO_BENCHMARK_ALL_CPUS);
  return out;
}

std::vector<truvello_config> Options::configs(const truvello_config& defaults) const {
  const truvello_config base = base_config(defaults);
  std::vector<truvello_config> out;
  for (const std::uint32_t benchmark : benchmarks()) {
    for (unsigned i = 0; i < repeat; ++i) {
      out.push_back(base);
      out.back().benchmark = benchmark;
    }
  }
  return out;
}

ParsedCommandLine parse_command_line(const std::vector<std::string>& args) {
  Options o;
  CLI::App app{
      "Measures how many workload operations per second this machine sustains,\n"
      "on one CPU and on all of them.",
      "truvello"};
  app.footer(footer());
  add_run_options(
      app, o,
      RunOptionWords{
          .single = "Run benchmark 1 only: one worker thread",
          .all_cpus = "Run benchmark 2 only: one worker per online CPU",
          .one_benchmark = false,
          .warmup = "Warm-up length in seconds (default " + number_text(kDefaultWarmupSeconds) + ")",
          .measure = "Measurement window in seconds (default " + number_text(kDefaultMeasurementSeconds) +
                     "; at least " + number_text(kMinComparableWindow) + " for a comparable score)",
          .quick = "A first look: ",
          .repeat = 1,
          .least_repeat = 1,
          .repeat_help = "Run each selected benchmark N times in a row (default 1)",
          .precision =
              "Repeat each selected benchmark until its score is known to +/-PCT % (95 % interval); at least " +
              std::to_string(kMinSeriesRuns) + " runs, or --repeat N",
          .max_time_bounds = "one benchmark's series",
          .json = "Print one JSON document on stdout instead of the summary",
          .exports = run_outputs().exports,
      });
  app.add_flag("--anonymous", o.anonymous, "Leave the host name and the machine's identity out of every output");
  app.add_flag("-V,--version", o.version, "Print the command's and the library's versions");

  ReportOptions report;
  CLI::App* report_app = app.add_subcommand("report", "Print the summary of a saved run (a --export-json file) again");
  report_app->footer(
      "An A/B series (`truvello ab`) is shown with its paired verdict; AB.json#A or\n"
      "AB.json#B shows one of its sides as a series of its own.\n\n"
      "Exit statuses: see truvello(1), EXIT STATUS.");
  report_app->add_option("file", report.file, "The saved run")->required()->type_name("RUN.json");
  report_app->add_option("--export-html", report.export_html, "Also write the saved run as an HTML report to FILE")
      ->type_name("FILE");
  report_app
      ->add_option("--export-prometheus", report.export_prometheus,
                   "Also write the saved run in Prometheus' text format to FILE, replaced atomically")
      ->type_name("FILE");

  CompareOptions compare;
  CLI::App* compare_app =
      app.add_subcommand("compare", "Compare saved runs: is a candidate faster or slower than the baseline?");
  compare_app->footer(kCompareFooter);
  compare_app->add_option("baseline", compare.baseline, "The saved run to compare against")
      ->required()
      ->type_name("BASELINE.json");
  compare_app->add_option("candidates", compare.candidates, "One or more saved runs to compare with it")
      ->required()
      ->type_name("CANDIDATE.json");
  compare_app
      ->add_option("--fail-if-slower", compare.fail_if_slower_percent,
                   "Exit with 1 when a candidate is significantly slower than the baseline by more than PCT percent")
      ->type_name("PCT")
      ->check(CLI::Range(0.0, 100.0));
  add_view_outputs(*compare_app, compare.json, compare.export_markdown, compare.export_html, "the comparison",
                   "baseline and candidates overlaid, one chart per benchmark");
  FleetOptions fleet;
  CLI::App* fleet_app =
      app.add_subcommand("fleet", "Group saved runs of many machines and name those slower than their peers");
  fleet_app->footer(kFleetFooter);
  fleet_app->add_option("paths", fleet.paths, "Saved runs, and directories searched for *.json")
      ->required()
      ->type_name("PATH");
  add_view_outputs(*fleet_app, fleet.json, fleet.export_markdown, fleet.export_html, "the groups",
                   "every machine's score, one chart per group and benchmark");
  AbOptions ab;
  CLI::App* ab_app = add_ab_subcommand(app, ab);
  app.require_subcommand(0, 1);

  // Which part of the command line a help text or an error belongs to.
  const auto help_for = [&]() -> std::string {
    if (compare_app->parsed()) return compare_app->help();
    if (fleet_app->parsed()) return fleet_app->help();
    if (ab_app->parsed()) return ab_app->help();
    if (report_app->parsed()) return report_app->help();
    return app.help();
  };

  // CLI11 consumes its arguments from the back.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  ParsedCommandLine parsed;
  try {
    app.parse(reversed);
    // The run command's options mean nothing to a subcommand; taking them
    // silently would hide a mistake.
    if ((report_app->parsed() || compare_app->parsed() || fleet_app->parsed() || ab_app->parsed()) &&
        app.count_all() >
            report_app->count_all() + compare_app->count_all() + fleet_app->count_all() + ab_app->count_all() + 1) {
      throw CLI::ValidationError("the options of a run do not go with a subcommand");
    }
  } catch (const CLI::CallForHelp&) {
    parsed.out = help_for();
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.exit_code = kExitUsage;
    parsed.err = std::string("truvello: ") + e.what() + "\n\n" + help_for();
    return parsed;
  }
  if (report_app->parsed()) {
    parsed.report = report;
  } else if (compare_app->parsed()) {
    parsed.compare = compare;
  } else if (fleet_app->parsed()) {
    parsed.fleet = fleet;
  } else if (ab_app->parsed()) {
    ab.repeat_given = ab_app->count("--repeat") > 0;
    parsed.ab = ab;
  } else {
    parsed.options = o;
  }
  return parsed;
}

}  // namespace truvello::cli
