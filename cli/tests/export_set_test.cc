// The export files of a command that measures: which exports each command
// offers and what goes into each, the path checked before any run, and the
// line that names a file that could not be written.
#include "commands/export_set.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "commands/export_file.h"
#include "commands/session_outputs.h"
#include "document/json_report.h"
#include "output/ab_report.h"
#include "output/csv_report.h"
#include "output/html_report.h"
#include "output/markdown_report.h"
#include "output/prometheus_text.h"
#include "report_samples.h"
#include "temp_dir.h"

namespace truvello::cli {
namespace {

using testing::default_invocation;
using testing::default_length_run;
using truvello::testing::read_file;
using truvello::testing::TempDir;

// Two pairs, B a little slower.
Invocation ab_invocation() {
  Invocation inv = default_invocation("CPU");
  inv.runs.clear();
  AbRecord& ab = inv.ab.emplace();
  ab.order = "ABBA";
  for (const double rate : {100.0, 95.0, 96.0, 101.0}) {
    RunOutcome run = default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, rate, 0.0);
    inv.runs.push_back(run);
  }
  return inv;
}

bool exists(const std::string& path) { return std::filesystem::exists(path); }

// What each command's exports hold: the run's Markdown is its results
// table, the A/B one its verdict; an export wired to the other command's
// renderer, or left out of a table, shows here.
TEST(ExportSet, EachCommandWritesWhatItOffersWithItsOwnRenderers) {
  using Render = std::string (*)(const InvocationView&, const std::string& date);
  const Invocation run = default_invocation("CPU");
  const Invocation ab = ab_invocation();
  const struct {
    const char* command;
    const SessionOutputs& outputs;
    const Invocation& invocation;
    std::map<std::string, Render> expected;  // by option
  } commands[] = {
      {"run",
       run_outputs(),
       run,
       {{"--export-json", [](const InvocationView& i, const std::string&) { return json_text(i); }},
        {"--export-csv", [](const InvocationView& i, const std::string&) { return csv_text(i.source()); }},
        {"--export-markdown", [](const InvocationView& i, const std::string&) { return markdown_text(i); }},
        {"--export-html",
         [](const InvocationView& i, const std::string& date) {
           const ReportSource source{"", &i};
           return html_text({&source, 1}, date);
         }},
        {"--export-prometheus", [](const InvocationView& i, const std::string&) { return prometheus_text(i); }}}},
      {"ab",
       ab_outputs(),
       ab,
       {{"--export-json", [](const InvocationView& i, const std::string&) { return json_text(i); }},
        {"--export-markdown", [](const InvocationView& i, const std::string&) { return ab_markdown_text(i); }},
        {"--export-html", [](const InvocationView& i, const std::string& date) { return ab_html_text(i, date); }}}},
  };
  for (const auto& c : commands) {
    SCOPED_TRACE(c.command);
    const TempDir dir;
    Options options;
    std::map<std::string, std::string> paths;
    ASSERT_EQ(c.outputs.exports.size(), c.expected.size());
    for (const ExportOffer& offer : c.outputs.exports) {
      ASSERT_TRUE(c.expected.count(offer.option)) << offer.option;
      paths[offer.option] = options.*offer.path = dir.file(std::string(offer.option).substr(9));
    }
    ExportSet exports;
    ASSERT_EQ(exports.open(options, c.outputs.exports), "");
    // Opened before the runs: an in-place file exists, empty; the atomic
    // one is left alone until its text is ready.
    for (const ExportOffer& offer : c.outputs.exports) {
      EXPECT_EQ(exists(paths[offer.option]), offer.replace == ExportFile::Replace::kInPlace) << offer.option;
    }
    const std::string before = report_date(std::time(nullptr));
    const InvocationView view = view_of(c.invocation);
    ASSERT_EQ(exports.write(view), "");
    const std::string after = report_date(std::time(nullptr));
    for (const auto& [option, render] : c.expected) {
      SCOPED_TRACE(option);
      const std::string text = read_file(paths[option]);
      EXPECT_FALSE(text.empty());
      EXPECT_TRUE(text == render(view, before) || text == render(view, after));
    }
  }
}

// A path that cannot be written fails before anything is measured, with one
// line, and the exports after it in the table are not even created.
TEST(ExportSet, TheFirstPathThatCannotBeOpenedStopsTheSet) {
  const TempDir dir;
  const struct {
    std::string Options::*bad;
    std::string path;
    std::string line;
  } cases[] = {
      {&Options::export_csv, dir.file("none/r.csv"),
       "truvello: cannot write " + dir.file("none/r.csv") + ": No such file or directory\n"},
      {&Options::export_prometheus, dir.file("none/r.prom"),
       "truvello: cannot write " + dir.file("none/r.prom") + ": No such file or directory\n"},
      // A line break in the path stays inside the one line.
      {&Options::export_csv, dir.file("none/a\nb\x1b[2J.csv"),
       "truvello: cannot write " + dir.file("none/a\\x0ab\\x1b[2J.csv") + ": No such file or directory\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Options options;
    options.export_json = dir.file("r.json");
    options.*c.bad = c.path;
    if (c.bad != &Options::export_prometheus) options.export_html = dir.file("r.html");
    ExportSet exports;
    EXPECT_EQ(exports.open(options, run_outputs().exports), c.line);
    EXPECT_FALSE(exists(dir.file("r.html")));
  }
}

TEST(ExportSet, AFileThatCannotBeWrittenAtTheEndIsNamedAndTheOthersAreStillWritten) {
  if (!exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  const TempDir dir;
  Options options;
  options.export_json = "/dev/full";
  options.export_markdown = dir.file("r.md");
  ExportSet exports;
  ASSERT_EQ(exports.open(options, run_outputs().exports), "");
  const Invocation inv = default_invocation("CPU");
  const InvocationView view = view_of(inv);
  EXPECT_EQ(exports.write(view), "truvello: writing /dev/full failed\n");
  EXPECT_EQ(read_file(dir.file("r.md")), markdown_text(view));
  // Written at once, a file says why it could not be.
  EXPECT_EQ(write_export("/dev/full", "text"), "truvello: cannot write /dev/full: No space left on device\n");
}

}  // namespace
}  // namespace truvello::cli
