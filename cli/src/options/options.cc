#include "options/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>

#include "output/units.h"
#include "stats/warnings.h"

namespace truvello::cli {

namespace {

std::string footer() {
  return "Without --single or --all-cpus both benchmarks run, single first, with the\n"
         "library's defaults (" +
         length_text(kLibraryWarmupSeconds) + " warm-up, " + length_text(kLibraryMeasurementSeconds) +
         " measurement). Ctrl-C cancels; what\n"
         "was measured so far is still shown and exported.\n"
         "\n"
         "Exit status: 0 every run completed, 2 a run failed, 64 usage error,\n"
         "130 interrupted (SIGINT), 143 terminated (SIGTERM).";
}

// A length in the help's own words: 120 gives "120".
std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace

std::vector<truvello_config> Options::configs(const truvello_config& defaults) const {
  truvello_config base = defaults;
  if (quick) {
    base.warmup_seconds = kQuickWarmupSeconds;
    base.measurement_seconds = kQuickMeasurementSeconds;
  }
  if (warmup_seconds) base.warmup_seconds = *warmup_seconds;
  if (measurement_seconds) base.measurement_seconds = *measurement_seconds;

  const bool both = !single && !all_cpus;
  std::vector<truvello_config> out;
  if (single || both) {
    out.push_back(base);
    out.back().benchmark = TRUVELLO_BENCHMARK_SINGLE;
  }
  if (all_cpus || both) {
    out.push_back(base);
    out.back().benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
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
                 "Warm-up length in seconds (default " + number_text(kLibraryWarmupSeconds) + ")")
      ->type_name("SECONDS");
  app.add_option("--measure", o.measurement_seconds,
                 "Measurement window in seconds (default " + number_text(kLibraryMeasurementSeconds) + "; at least " +
                     number_text(kMinComparableWindow) + " for a comparable score)")
      ->type_name("SECONDS");
  app.add_flag("--quick", o.quick,
               "A first look: " + length_text(kQuickWarmupSeconds) + " warm-up and " +
                   length_text(kQuickMeasurementSeconds) + " measurement");
  app.add_flag("-q,--quiet", o.quiet, "No progress output on stderr");
  app.add_flag("--json", o.json, "Print one JSON document on stdout instead of the summary");
  app.add_option("--export-json", o.export_json, "Also write the JSON document to FILE")->type_name("FILE");
  app.add_option("--export-csv", o.export_csv, "Write every sample as CSV to FILE")->type_name("FILE");
  app.add_option("--export-markdown", o.export_markdown, "Write a Markdown results table to FILE")->type_name("FILE");
  app.add_option("--export-html", o.export_html, "Write a self-contained HTML report with charts to FILE")
      ->type_name("FILE");
  app.add_flag("-V,--version", o.version, "Print the command's and the library's versions");

  // CLI11 consumes its arguments from the back.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  ParsedCommandLine parsed;
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.out = app.help();
    return parsed;
  } catch (const CLI::ParseError& e) {
    parsed.exit_code = kExitUsage;
    parsed.err = std::string("truvello: ") + e.what() + "\n\n" + app.help();
    return parsed;
  }
  parsed.options = o;
  return parsed;
}

}  // namespace truvello::cli
