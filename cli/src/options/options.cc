#include "options/options.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace truvello::cli {

namespace {

constexpr const char* kFooter = R"(Without --single or --all-cpus both benchmarks run, single first, with the
library's defaults (120 s warm-up, 60 s measurement). Ctrl-C cancels; what
was measured so far is still shown and exported.

Exit status: 0 every run completed, 2 a run failed, 64 usage error,
130 interrupted (SIGINT), 143 terminated (SIGTERM).)";

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
  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    const bool selected = both || (benchmark == TRUVELLO_BENCHMARK_SINGLE ? single : all_cpus);
    for (unsigned i = 0; selected && i < repeat; ++i) {
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
  app.footer(kFooter);
  app.add_flag("--single", o.single, "Run benchmark 1 only: one worker thread");
  app.add_flag("--all-cpus", o.all_cpus, "Run benchmark 2 only: one worker per online CPU");
  app.add_option("--warmup", o.warmup_seconds, "Warm-up length in seconds (default 120)")->type_name("SECONDS");
  app.add_option("--measure", o.measurement_seconds,
                 "Measurement window in seconds (default 60; at least 10 for a comparable score)")
      ->type_name("SECONDS");
  app.add_option("--repeat", o.repeat, "Run each selected benchmark N times in a row (default 1)")
      ->type_name("N")
      ->check(CLI::Range(1u, kMaxRepeat));
  app.add_flag("--quick", o.quick, "A first look: 2 s warm-up and 5 s measurement");
  app.add_flag("-q,--quiet", o.quiet, "No progress output on stderr");
  app.add_flag("--json", o.json, "Print one JSON document on stdout instead of the summary");
  app.add_option("--export-json", o.export_json, "Also write the JSON document to FILE")->type_name("FILE");
  app.add_option("--export-csv", o.export_csv, "Write every sample as CSV to FILE")->type_name("FILE");
  app.add_option("--export-markdown", o.export_markdown, "Write a Markdown results table to FILE")->type_name("FILE");
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
