#include "commands/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "statistics/warnings.h"
#include "text/units.h"

namespace truvello::cli {
namespace {

// Stands in for the library's defaults, deliberately unlike the real ones so
// that a hard-coded copy in the command would show.
truvello_config library_defaults() {
  return truvello_config{TRUVELLO_ABI_VERSION, sizeof(truvello_config), TRUVELLO_BENCHMARK_SINGLE, 0, 111.0, 77.0};
}

Options parse_ok(const std::vector<std::string>& args) {
  const ParsedCommandLine parsed = parse_command_line(args);
  EXPECT_TRUE(parsed.options.has_value()) << parsed.err;
  return parsed.options.value_or(Options{});
}

TEST(Options, NoArgumentsRunsBothBenchmarksWithTheLibraryDefaults) {
  const auto configs = parse_ok({}).configs(library_defaults());
  ASSERT_EQ(configs.size(), 2u);
  EXPECT_EQ(configs[0].benchmark, TRUVELLO_BENCHMARK_SINGLE);
  EXPECT_EQ(configs[1].benchmark, TRUVELLO_BENCHMARK_ALL_CPUS);
  for (const truvello_config& c : configs) {
    EXPECT_EQ(c.abi_version, TRUVELLO_ABI_VERSION);
    EXPECT_EQ(c.struct_size, 32u);
    EXPECT_EQ(c.reserved, 0u);
    EXPECT_EQ(c.warmup_seconds, 111.0);
    EXPECT_EQ(c.measurement_seconds, 77.0);
  }
}

TEST(Options, SelectingBenchmarks) {
  auto only_single = parse_ok({"--single"}).configs(library_defaults());
  ASSERT_EQ(only_single.size(), 1u);
  EXPECT_EQ(only_single[0].benchmark, TRUVELLO_BENCHMARK_SINGLE);
  auto only_all = parse_ok({"--all-cpus"}).configs(library_defaults());
  ASSERT_EQ(only_all.size(), 1u);
  EXPECT_EQ(only_all[0].benchmark, TRUVELLO_BENCHMARK_ALL_CPUS);
  EXPECT_EQ(parse_ok({"--all-cpus", "--single"}).configs(library_defaults()).size(), 2u);
}

TEST(Options, QuickAndExplicitLengths) {
  const auto quick = parse_ok({"--quick"}).configs(library_defaults());
  EXPECT_EQ(quick[0].warmup_seconds, kQuickWarmupSeconds);
  EXPECT_EQ(quick[0].measurement_seconds, kQuickMeasurementSeconds);
  // An explicit length wins over --quick, whichever comes first.
  const auto mixed = parse_ok({"--measure", "0.3", "--quick", "--warmup=0"}).configs(library_defaults());
  EXPECT_EQ(mixed[1].warmup_seconds, 0.0);
  EXPECT_EQ(mixed[1].measurement_seconds, 0.3);
}

TEST(Options, RepeatRunsEachBenchmarkInARow) {
  const auto configs = parse_ok({"--repeat", "3", "--quick"}).configs(library_defaults());
  ASSERT_EQ(configs.size(), 6u);
  for (std::size_t i = 0; i < configs.size(); ++i) {
    EXPECT_EQ(configs[i].benchmark, i < 3 ? TRUVELLO_BENCHMARK_SINGLE : TRUVELLO_BENCHMARK_ALL_CPUS) << i;
    EXPECT_EQ(configs[i].measurement_seconds, 5.0);
  }
  EXPECT_EQ(parse_ok({"--all-cpus", "--repeat=2"}).configs(library_defaults()).size(), 2u);
  for (const char* bad : {"0", "-1", "two", "1.5", "10001"}) {
    const ParsedCommandLine parsed = parse_command_line({"--repeat", bad});
    EXPECT_EQ(parsed.exit_code, kExitUsage) << bad;
    EXPECT_NE(parsed.err.find("--repeat"), std::string::npos) << parsed.err;
  }
}

TEST(Options, NumbersTheLibraryMustJudgePassThrough) {
  // Zero, negative and non-finite lengths parse; rejecting them is the
  // library's job, with its own reason text.
  const auto zero = parse_ok({"--measure", "0"}).configs(library_defaults());
  EXPECT_EQ(zero[0].measurement_seconds, 0.0);
  const auto negative = parse_ok({"--warmup", "-1"}).configs(library_defaults());
  EXPECT_EQ(negative[0].warmup_seconds, -1.0);
  const auto nan = parse_ok({"--measure", "nan"}).configs(library_defaults());
  EXPECT_TRUE(std::isnan(nan[0].measurement_seconds));
}

TEST(Options, NonNumbersAreUsageErrorsNamingTheOption) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--measure", "abc"}, {"--warmup", "5s"}, {"--measure", "1,5"}}) {
    const ParsedCommandLine parsed = parse_command_line(args);
    EXPECT_FALSE(parsed.options.has_value());
    EXPECT_EQ(parsed.exit_code, kExitUsage);
    EXPECT_NE(parsed.err.find(args[0]), std::string::npos) << parsed.err;
    EXPECT_NE(parsed.err.find("Usage"), std::string::npos) << parsed.err;
    EXPECT_TRUE(parsed.out.empty());
  }
}

TEST(Options, UnknownOptionsAndMissingValuesAreUsageErrors) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--bogus"}, {"--measure"}, {"extra"}, {"--export-csv"}, {"--export-html"}}) {
    const ParsedCommandLine parsed = parse_command_line(args);
    EXPECT_EQ(parsed.exit_code, kExitUsage) << args[0];
    EXPECT_NE(parsed.err.find("Usage"), std::string::npos);
  }
}

TEST(Options, HelpGoesToStdoutAndExitsZero) {
  const ParsedCommandLine parsed = parse_command_line({"--help"});
  EXPECT_FALSE(parsed.options.has_value());
  EXPECT_EQ(parsed.exit_code, kExitOk);
  for (const char* option : {"--single", "--all-cpus", "--warmup", "--measure", "--quick", "--quiet", "--json",
                             "--repeat", "--export-json", "--export-csv", "--export-markdown", "--export-html"}) {
    EXPECT_NE(parsed.out.find(option), std::string::npos) << option;
  }
  EXPECT_TRUE(parsed.err.empty());
}

std::string plain(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// The help words the lengths the library and the rules decide; the run
// itself takes its defaults from the library.
TEST(Options, HelpWordsTheLibrarysDefaultsAndTheRules) {
  truvello_config real{};
  ASSERT_EQ(truvello_default_config(&real), 1);
  EXPECT_EQ(kDefaultWarmupSeconds, real.warmup_seconds);
  EXPECT_EQ(kDefaultMeasurementSeconds, real.measurement_seconds);
  const std::string help = parse_command_line({"--help"}).out;
  // Built piece by piece: g++ 12 misreads literal + string chains (-Wrestrict).
  const auto words = [](std::initializer_list<std::string> pieces) {
    std::string text;
    for (const std::string& piece : pieces) text += piece;
    return text;
  };
  for (const std::string& part : {words({"(", length_text(real.warmup_seconds), " warm-up, ",
                                         length_text(real.measurement_seconds), " measurement)"}),
                                  words({"(default ", plain(real.warmup_seconds), ")"}),
                                  words({"(default ", plain(real.measurement_seconds), ";"}),
                                  words({"at least ", plain(kMinComparableWindow), " for a comparable score"}),
                                  words({length_text(kQuickWarmupSeconds), " warm-up and ",
                                         length_text(kQuickMeasurementSeconds), " measurement"})}) {
    EXPECT_NE(help.find(part), std::string::npos) << part << "\n" << help;
  }
}

TEST(Options, Subcommands) {
  ParsedCommandLine parsed = parse_command_line({"report", "run.json"});
  ASSERT_TRUE(parsed.report) << parsed.err;
  EXPECT_FALSE(parsed.options);
  EXPECT_EQ(parsed.report->file, "run.json");

  parsed = parse_command_line(
      {"compare", "base.json", "a.json", "b.json", "--fail-if-slower", "2.5", "--json", "--export-markdown", "c.md"});
  ASSERT_TRUE(parsed.compare) << parsed.err;
  EXPECT_EQ(parsed.compare->baseline, "base.json");
  EXPECT_EQ(parsed.compare->candidates, (std::vector<std::string>{"a.json", "b.json"}));
  EXPECT_EQ(parsed.compare->fail_if_slower_percent, 2.5);
  EXPECT_TRUE(parsed.compare->json);
  EXPECT_EQ(parsed.compare->export_markdown, "c.md");
  EXPECT_FALSE(parse_command_line({"compare", "base.json", "a.json"}).compare->fail_if_slower_percent);

  parsed = parse_command_line({"ab", "--setup-a", "echo a", "--setup-b", "echo b", "--all-cpus", "--seed", "9",
                               "--settle", "0.5", "--label-b", "powersave", "--measure", "3", "--json"});
  ASSERT_TRUE(parsed.ab) << parsed.err;
  EXPECT_EQ(parsed.ab->setup_a, "echo a");
  EXPECT_EQ(parsed.ab->label_a, "A");
  EXPECT_EQ(parsed.ab->label_b, "powersave");
  EXPECT_EQ(parsed.ab->seed, 9u);
  EXPECT_EQ(parsed.ab->settle_seconds, 0.5);
  EXPECT_TRUE(parsed.ab->run.all_cpus && parsed.ab->run.json);
  EXPECT_EQ(parsed.ab->run.repeat, kDefaultAbPairs);
  EXPECT_FALSE(parsed.ab->repeat_given);

  for (const std::vector<std::string>& args : {std::vector<std::string>{"compare", "base.json"},
                                               {"compare"},
                                               {"report"},
                                               {"report", "a.json", "b.json"},
                                               {"compare", "a", "b", "--fail-if-slower", "-1"},
                                               {"compare", "a", "b", "--fail-if-slower", "x"},
                                               {"compare", "a", "b", "--single"},
                                               {"--quick", "compare", "a", "b"},
                                               {"report", "a", "compare", "b", "c"},
                                               {"ab", "--setup-a", "x"},
                                               {"ab", "--setup-a", "", "--setup-b", "y"},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--repeat", "1"},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--single", "--all-cpus"},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--label-a", ""},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--settle", "nan"},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--seed", "-1"},
                                               {"ab", "--setup-a", "x", "--setup-b", "y", "--export-csv", "f"},
                                               {"--quick", "ab", "--setup-a", "x", "--setup-b", "y"}}) {
    const ParsedCommandLine bad = parse_command_line(args);
    EXPECT_EQ(bad.exit_code, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_FALSE(bad.compare || bad.report || bad.options || bad.ab);
    EXPECT_NE(bad.err.find("Usage"), std::string::npos) << bad.err;
  }
  const ParsedCommandLine help = parse_command_line({"compare", "--help"});
  EXPECT_EQ(help.exit_code, kExitOk);
  EXPECT_NE(help.out.find("--fail-if-slower"), std::string::npos) << help.out;
}

// `truvello` and `truvello ab` share their run options, with ab's own
// bounds: one benchmark, at least two pairs, no CSV or Prometheus export.
// Both take them from one declaration, so a slip there shows in both.
TEST(Options, TheRunCommandAndAbTakeTheSharedRunOptionsWithTheirOwnBounds) {
  const struct {
    std::vector<std::string> args;
    bool run;
    bool ab;
  } cases[] = {
      {{"--single"}, true, true},
      {{"--all-cpus"}, true, true},
      {{"--single", "--all-cpus"}, true, false},
      {{"--warmup", "1", "--measure", "2"}, true, true},
      {{"--quick"}, true, true},
      {{"--repeat", "1"}, true, false},
      {{"--repeat", "2"}, true, true},
      {{"--repeat", "10000"}, true, true},
      {{"--repeat", "10001"}, false, false},
      {{"--precision", "5"}, true, true},
      {{"--precision", "0"}, false, false},
      {{"--precision", "nan"}, false, false},
      {{"--precision", "5", "--max-time", "10"}, true, true},
      {{"--max-time", "10"}, false, false},
      {{"--precision", "5", "--max-time", "0.5"}, false, false},
      {{"-q", "--json"}, true, true},
      {{"--quiet"}, true, true},
      {{"--export-json", "f"}, true, true},
      {{"--export-markdown", "f"}, true, true},
      {{"--export-html", "f"}, true, true},
      {{"--export-csv", "f"}, true, false},
      {{"--export-prometheus", "f"}, true, false},
      {{"--anonymous"}, true, false},
      {{"--version"}, true, false},
      {{"--settle", "1"}, false, true},
      {{"--seed", "3"}, false, true},
      {{"--label-a", "x"}, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const ParsedCommandLine run = parse_command_line(c.args);
    EXPECT_EQ(run.options.has_value(), c.run) << run.err;
    EXPECT_EQ(run.exit_code, c.run ? kExitOk : kExitUsage);
    std::vector<std::string> ab_args{"ab", "--setup-a", "x", "--setup-b", "y"};
    ab_args.insert(ab_args.end(), c.args.begin(), c.args.end());
    const ParsedCommandLine ab = parse_command_line(ab_args);
    EXPECT_EQ(ab.ab.has_value(), c.ab) << ab.err;
    EXPECT_EQ(ab.exit_code, c.ab ? kExitOk : kExitUsage);
  }

  // The values land where each command reads them.
  const ParsedCommandLine ab = parse_command_line(
      {"ab", "--setup-a", "x", "--setup-b", "y", "--repeat", "3", "--precision", "2", "--max-time", "40", "--quick",
       "-q", "--export-json", "a.json", "--export-markdown", "a.md", "--export-html", "a.html"});
  ASSERT_TRUE(ab.ab) << ab.err;
  const Options& o = ab.ab->run;
  EXPECT_EQ(o.repeat, 3u);
  EXPECT_TRUE(ab.ab->repeat_given);
  EXPECT_EQ(o.precision_percent, 2.0);
  EXPECT_EQ(o.max_time_seconds, 40.0);
  EXPECT_TRUE(o.quick && o.quiet && !o.json);
  EXPECT_EQ(o.export_json, "a.json");
  EXPECT_EQ(o.export_markdown, "a.md");
  EXPECT_EQ(o.export_html, "a.html");
  EXPECT_EQ(parse_ok({}).repeat, 1u);
  EXPECT_EQ(parse_ok({}).max_time_seconds, kDefaultMaxTimeSeconds);

  // Each help lists the exports its command offers, and no other.
  const std::string run_help = parse_command_line({"--help"}).out;
  const std::string ab_help = parse_command_line({"ab", "--help"}).out;
  for (const char* option : {"--export-json", "--export-markdown", "--export-html"}) {
    EXPECT_NE(run_help.find(option), std::string::npos) << option;
    EXPECT_NE(ab_help.find(option), std::string::npos) << option;
  }
  for (const char* option : {"--export-csv", "--export-prometheus", "--anonymous"}) {
    EXPECT_NE(run_help.find(option), std::string::npos) << option;
    EXPECT_EQ(ab_help.find(option), std::string::npos) << option;
  }
  EXPECT_NE(ab_help.find("Pairs to run (default 4, at least 2)"), std::string::npos) << ab_help;
  EXPECT_NE(run_help.find("N times in a row (default 1)"), std::string::npos) << run_help;
}

// compare and fleet share --json, --export-markdown and --export-html, each
// worded for what it shows.
TEST(Options, CompareAndFleetShareTheirOutputs) {
  const struct {
    std::vector<std::string> command;
    const char* what;
  } commands[] = {{{"compare", "base.json", "cand.json"}, "the comparison"}, {{"fleet", "dir"}, "the groups"}};
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command[0]);
    std::vector<std::string> args = c.command;
    for (const char* a : {"--json", "--export-markdown", "m.md", "--export-html", "h.html"}) args.push_back(a);
    const ParsedCommandLine parsed = parse_command_line(args);
    ASSERT_EQ(parsed.exit_code, kExitOk) << parsed.err;
    const bool json = parsed.compare ? parsed.compare->json : parsed.fleet->json;
    const std::string md = parsed.compare ? parsed.compare->export_markdown : parsed.fleet->export_markdown;
    const std::string html = parsed.compare ? parsed.compare->export_html : parsed.fleet->export_html;
    EXPECT_TRUE(json);
    EXPECT_EQ(md, "m.md");
    EXPECT_EQ(html, "h.html");
    for (const char* other : {"--export-json", "--export-csv", "--export-prometheus"}) {
      std::vector<std::string> refused = c.command;
      refused.insert(refused.end(), {other, "f"});
      EXPECT_EQ(parse_command_line(refused).exit_code, kExitUsage) << other;
    }
    const std::string help = parse_command_line({c.command[0], "--help"}).out;
    EXPECT_NE(help.find(std::string("Print ") + c.what + " as one JSON document on stdout"), std::string::npos) << help;
    EXPECT_NE(help.find(std::string("Also write ") + c.what + " as Markdown to FILE"), std::string::npos) << help;
  }
}

TEST(Options, OutputFlags) {
  const Options o = parse_ok({"--json", "-q", "--export-json", "a.json", "--export-csv=b.csv", "--export-markdown",
                              "c.md", "--export-html", "d.html"});
  EXPECT_TRUE(o.json);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.export_json, "a.json");
  EXPECT_EQ(o.export_csv, "b.csv");
  EXPECT_EQ(o.export_markdown, "c.md");
  EXPECT_EQ(o.export_html, "d.html");
}

}  // namespace
}  // namespace truvello::cli
