#include "options/options.h"

#include <gtest/gtest.h>

#include <cmath>

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
  EXPECT_EQ(quick[0].warmup_seconds, 2.0);
  EXPECT_EQ(quick[0].measurement_seconds, 5.0);
  // An explicit length wins over --quick, whichever comes first.
  const auto mixed = parse_ok({"--measure", "0.3", "--quick", "--warmup=0"}).configs(library_defaults());
  EXPECT_EQ(mixed[1].warmup_seconds, 0.0);
  EXPECT_EQ(mixed[1].measurement_seconds, 0.3);
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
                             "--export-json", "--export-csv", "--export-markdown", "--export-html"}) {
    EXPECT_NE(parsed.out.find(option), std::string::npos) << option;
  }
  EXPECT_TRUE(parsed.err.empty());
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
