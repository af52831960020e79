#include "commands/options.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>
#include <algorithm>

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
         "Exit status: 0 every run completed, 2 a run failed, 64 usage error,\n"
         "130 interrupted (SIGINT), 143 terminated (SIGTERM).";
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

Exit status: 0 done (and the gate passed), 1 a candidate is significantly
slower by more than --fail-if-slower, 2 an input file cannot be used or the
gate has fewer than 3 runs a side to judge, 64 usage error.)";

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

Exit status: 0 shown, 2 no file could be read or an export failed,
64 usage error.)";
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

Exit status: 0 done, 2 a setup failed (the series stops at once and the
restore runs) or a run failed, 64 usage error, 130/143 interrupted (the
restore still runs).)";

// The `ab` subcommand, its options written into `ab`.
CLI::App* add_ab_subcommand(CLI::App& app, AbOptions& ab) {
  CLI::App* sub =
      app.add_subcommand("ab", "Which of two settings is faster: A and B measured in turns, judged by pairs");
  sub->footer(kAbFooter);
  Options& o = ab.run;
  o.repeat = kDefaultAbPairs;
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
  CLI::Option* single = sub->add_flag("--single", o.single, "Compare on benchmark 1: one worker thread (the default)");
  sub->add_flag("--all-cpus", o.all_cpus, "Compare on benchmark 2: one worker per online CPU")->excludes(single);
  sub->add_option("--warmup", o.warmup_seconds, "Warm-up length of every run in seconds")->type_name("SECONDS");
  sub->add_option("--measure", o.measurement_seconds, "Measurement window of every run in seconds")
      ->type_name("SECONDS");
  sub->add_flag("--quick", o.quick,
                "Short runs: " + length_text(kQuickWarmupSeconds) + " warm-up and " +
                    length_text(kQuickMeasurementSeconds) + " measurement");
  sub->add_option("--repeat", o.repeat,
                  "Pairs to run (default " + std::to_string(kDefaultAbPairs) + ", at least " + std::to_string(2) +
                      "); with --precision, the fewest")
      ->type_name("N")
      ->check(CLI::Range(2u, kMaxRepeat));
  CLI::Option* precision = sub->add_option("--precision", o.precision_percent,
                                           "Run pairs until B / A is known to +/-PCT % (95 % interval); at least " +
                                               std::to_string(kMinSeriesRuns) + " pairs, or --repeat N")
                               ->type_name("PCT")
                               ->check(finite_range(0.01, 100.0));
  sub->add_option(
         "--max-time", o.max_time_seconds,
         "With --precision: the most time the series may take (default " + number_text(kDefaultMaxTimeSeconds) + ")")
      ->type_name("SECONDS")
      ->check(finite_range(1.0, 1e7))
      ->needs(precision);
  sub->add_flag("-q,--quiet", o.quiet, "No progress output on stderr");
  sub->add_flag("--json", o.json, "Print the JSON document on stdout instead of the summary");
  sub->add_option("--export-json", o.export_json, "Also write the JSON document (both sides) to FILE")
      ->type_name("FILE");
  sub->add_option("--export-markdown", o.export_markdown, "Write the result as Markdown to FILE")->type_name("FILE");
  sub->add_option("--export-html", o.export_html, "Write an HTML report with the pairs' ratios to FILE")
      ->type_name("FILE");
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
  app.add_flag("--single", o.single, "Run benchmark 1 only: one worker thread");
  app.add_flag("--all-cpus", o.all_cpus, "Run benchmark 2 only: one worker per online CPU");
  app.add_option("--warmup", o.warmup_seconds,
                 "Warm-up length in seconds (default " + number_text(kDefaultWarmupSeconds) + ")")
      ->type_name("SECONDS");
  app.add_option("--measure", o.measurement_seconds,
                 "Measurement window in seconds (default " + number_text(kDefaultMeasurementSeconds) + "; at least " +
                     number_text(kMinComparableWindow) + " for a comparable score)")
      ->type_name("SECONDS");
  app.add_flag("--quick", o.quick,
               "A first look: " + length_text(kQuickWarmupSeconds) + " warm-up and " +
                   length_text(kQuickMeasurementSeconds) + " measurement");
  app.add_option("--repeat", o.repeat, "Run each selected benchmark N times in a row (default 1)")
      ->type_name("N")
      ->check(CLI::Range(1u, kMaxRepeat));
  CLI::Option* precision =
      app.add_option("--precision", o.precision_percent,
                     "Repeat each selected benchmark until its score is known to +/-PCT % (95 % interval); at least " +
                         std::to_string(kMinSeriesRuns) + " runs, or --repeat N")
          ->type_name("PCT")
          ->check(finite_range(0.01, 100.0));
  app.add_option("--max-time", o.max_time_seconds,
                 "With --precision: the most time one benchmark's series may take (default " +
                     number_text(kDefaultMaxTimeSeconds) + ")")
      ->type_name("SECONDS")
      ->check(finite_range(1.0, 1e7))
      ->needs(precision);
  app.add_flag("-q,--quiet", o.quiet, "No progress output on stderr");
  app.add_flag("--json", o.json, "Print one JSON document on stdout instead of the summary");
  app.add_option("--export-json", o.export_json, "Also write the JSON document to FILE")->type_name("FILE");
  app.add_option("--export-csv", o.export_csv, "Write every sample as CSV to FILE")->type_name("FILE");
  app.add_option("--export-markdown", o.export_markdown, "Write a Markdown results table to FILE")->type_name("FILE");
  app.add_option("--export-html", o.export_html, "Write a self-contained HTML report with charts to FILE")
      ->type_name("FILE");
  app.add_option("--export-prometheus", o.export_prometheus,
                 "Write the scores in Prometheus' text format to FILE, replaced atomically")
      ->type_name("FILE");
  app.add_flag("--anonymous", o.anonymous, "Leave the host name and the machine's identity out of every output");
  app.add_flag("-V,--version", o.version, "Print the command's and the library's versions");

  ReportOptions report;
  CLI::App* report_app = app.add_subcommand("report", "Print the summary of a saved run (a --export-json file) again");
  report_app->footer(
      "An A/B series (`truvello ab`) is shown with its paired verdict; AB.json#A or\n"
      "AB.json#B shows one of its sides as a series of its own.\n\n"
      "Exit status: 0 shown, 2 the file cannot be used, 64 usage error.");
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
  compare_app->add_flag("--json", compare.json, "Print the comparison as one JSON document on stdout");
  compare_app->add_option("--export-markdown", compare.export_markdown, "Also write the comparison as Markdown to FILE")
      ->type_name("FILE");
  compare_app
      ->add_option("--export-html", compare.export_html,
                   "Also write an HTML report to FILE: baseline and candidates overlaid, one chart per benchmark")
      ->type_name("FILE");
  FleetOptions fleet;
  CLI::App* fleet_app =
      app.add_subcommand("fleet", "Group saved runs of many machines and name those slower than their peers");
  fleet_app->footer(kFleetFooter);
  fleet_app->add_option("paths", fleet.paths, "Saved runs, and directories searched for *.json")
      ->required()
      ->type_name("PATH");
  fleet_app->add_flag("--json", fleet.json, "Print the groups as one JSON document on stdout");
  fleet_app->add_option("--export-markdown", fleet.export_markdown, "Also write the groups as Markdown to FILE")
      ->type_name("FILE");
  fleet_app
      ->add_option("--export-html", fleet.export_html,
                   "Also write an HTML report to FILE: every machine's score, one chart per group and benchmark")
      ->type_name("FILE");
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
