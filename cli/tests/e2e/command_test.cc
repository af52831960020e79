// The built command, run as a user would with tiny lengths.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <thread>

#include "child_process.h"
#include "machine/process_group.h"
#include "sample_tiling.h"
#include "temp_dir.h"
#include "truvello_version.h"

namespace truvello::cli::testing {
namespace {

using nlohmann::json;
using truvello::testing::Finished;
using truvello::testing::read_file;
using truvello::testing::TempDir;

// The built command as a child process, given the arguments after its name.
class Child : public truvello::testing::ChildProcess {
 public:
  Child(const std::vector<std::string>& args, Output output) : ChildProcess(command_line(args), output) {}

 private:
  static std::vector<std::string> command_line(const std::vector<std::string>& args) {
    std::vector<std::string> argv{TRUVELLO_COMMAND_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
  }
};

constexpr const char* kDurationsReason = "durations must be finite: warmup >= 0, measurement > 0";

Finished run_command(const std::vector<std::string>& args) { return Child(args, Child::Output::kPipes).finish(); }

// The invariants every run in a document must satisfy, whatever its status.
void expect_consistent_run(const json& run) {
  SCOPED_TRACE(run["name"].get<std::string>());
  const json& r = run["result"];
  ASSERT_TRUE(r.is_object());
  const json& samples = run["samples"];
  ASSERT_EQ(r["sample_count"].get<std::size_t>(), samples.size());
  // Read back from text, so each boundary and rate may be off in the last
  // digits the document prints.
  struct Sample {
    double t, dt;
    std::uint64_t ops;
    double rate;
  };
  std::vector<Sample> read_back;
  for (const json& s : samples) {
    read_back.push_back(
        {s["t"].get<double>(), s["dt"].get<double>(), s["ops"].get<std::uint64_t>(), s["rate"].get<double>()});
  }
  const truvello::testing::TilingTolerance read_from_text{1e-9, 1e-6, false};
  EXPECT_EQ(truvello::testing::tiling_problem(read_back, r["measured_seconds"].get<double>(),
                                              r["total_ops"].get<std::uint64_t>(), read_from_text),
            "");
  if (samples.empty()) {
    EXPECT_EQ(r["total_ops"].get<std::uint64_t>(), 0u) << "samples must add up to the total";
  }
  EXPECT_EQ(r["status"], run["status"]);
  EXPECT_EQ(r["benchmark"], run["config"]["benchmark"]);
  // The workers as the OS kernel saw them, when the watch saw them twice.
  ASSERT_TRUE(run.contains("observed"));
  if (run["observed"].is_null()) return;
  const json& workers = run["observed"]["workers"];
  EXPECT_LE(workers.size(), r["workers"].get<std::size_t>());
  for (const json& w : workers) {
    EXPECT_EQ(w["name"].get<std::string>().rfind("truvello-", 0), 0u) << w;
    EXPECT_GT(w["window_seconds"].get<double>(), 0.0) << w;
    EXPECT_GE(w["cpu_share"].get<double>(), 0.0) << w;
    EXPECT_LE(w["cpu_share"].get<double>(), 1.5) << w;
    EXPECT_TRUE(std::is_sorted(w["cpus"].begin(), w["cpus"].end())) << w;
  }
}

std::size_t chart_count(const std::string& html) {
  std::size_t charts = 0;
  for (std::size_t pos = html.find("<svg class=\"chart\""); pos != std::string::npos;
       pos = html.find("<svg class=\"chart\"", pos + 1)) {
    ++charts;
  }
  return charts;
}

TEST(Command, JsonDocumentAgreesWithTheResultRecords) {
  const Finished done = run_command({"--warmup", "0", "--measure", "0.3", "--json"});
  ASSERT_EQ(done.status, 0) << done.err;
  // Nothing but the document on stdout: parsing all of it must succeed.
  const json doc = json::parse(done.out);
  EXPECT_EQ(doc["schema_version"], 2);
  EXPECT_EQ(doc["library"]["version"], TRUVELLO_VERSION_TEXT);
  EXPECT_EQ(doc["library"]["abi_version"], 1);
  EXPECT_GE(doc["machine"]["online_cpus"].get<unsigned>(), 1u);
  ASSERT_EQ(doc["runs"].size(), 2u);

  for (const json& run : doc["runs"]) {
    expect_consistent_run(run);
    const json& r = run["result"];
    EXPECT_EQ(run["status"], 0);
    EXPECT_EQ(run["reason"], "");
    EXPECT_EQ(run["config"]["warmup_seconds"], 0.0);
    EXPECT_EQ(run["config"]["measurement_seconds"], 0.3);
    EXPECT_EQ(r["measurement_seconds"], 0.3);
    EXPECT_GT(r["mean_rate"].get<double>(), 0.0);
    EXPECT_NEAR(r["mean_rate"].get<double>(), r["total_ops"].get<double>() / r["measured_seconds"].get<double>(),
                1e-9 * r["mean_rate"].get<double>());
    const json& d = run["derived"];
    EXPECT_LE(d["min_rate"].get<double>(), d["median_rate"].get<double>());
    EXPECT_LE(d["median_rate"].get<double>(), d["max_rate"].get<double>());
    // A 0.3 s window has one sample: no capability, and the reason.
    EXPECT_TRUE(d["capability"].is_null() && d["capability_ci_low"].is_null() && d["spell_share"].is_null());
    EXPECT_EQ(d["capability_note"], "too few seconds for a capability: 1 in the fast cluster, 6 needed");
    EXPECT_TRUE(run["warnings"].is_array());
    bool short_window = false;
    for (const json& w : run["warnings"]) short_window |= w["code"] == "short_window";
    EXPECT_TRUE(short_window) << "0.3 s is below the 10 s a comparable score needs";
  }
  const json& single = doc["runs"][0]["result"];
  const json& all = doc["runs"][1]["result"];
  EXPECT_EQ(single["workers"], 1);
  EXPECT_EQ(all["workers"], doc["machine"]["online_cpus"]);
  const double expected =
      all["mean_rate"].get<double>() / (all["workers"].get<double>() * single["mean_rate"].get<double>());
  EXPECT_NEAR(doc["scaling"]["efficiency"].get<double>(), expected, 1e-12 * expected);
  EXPECT_NEAR(doc["scaling"]["speedup"].get<double>() / all["workers"].get<double>(), expected, 1e-12 * expected);
}

TEST(Command, ExportsHaveTheirHeaderAndOneRowPerSampleOrRun) {
  TempDir dir;
  const Finished done =
      run_command({"--warmup", "0", "--measure", "1.2", "--quiet", "--export-json", dir.file("r.json"), "--export-csv",
                   dir.file("r.csv"), "--export-markdown", dir.file("r.md"), "--export-html", dir.file("r.html")});
  ASSERT_EQ(done.status, 0) << done.err;
  EXPECT_TRUE(done.err.empty()) << "--quiet: " << done.err;
  EXPECT_NE(done.out.find("Score"), std::string::npos) << "the summary still goes to stdout";

  const json doc = json::parse(read_file(dir.file("r.json")));
  ASSERT_EQ(doc["runs"].size(), 2u);
  std::size_t samples = 0;
  for (const json& run : doc["runs"]) {
    expect_consistent_run(run);
    samples += run["samples"].size();
    EXPECT_TRUE(run["observed"].is_object()) << "a second of measurement is seen by the worker watch";
  }
  // Every completed run closes its window with a sample; how many whole
  // seconds came before it depends on scheduling, so only the minimum is sure.
  EXPECT_GE(samples, 2u);

  std::istringstream csv(read_file(dir.file("r.csv")));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "run,repeat,benchmark,status,index,t,dt,ops,rate");
  std::size_t rows = 0;
  std::uint64_t csv_ops = 0;
  std::uint64_t json_ops = 0;
  while (std::getline(csv, line)) {
    ++rows;
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 8 && std::getline(fields, field, ','); ++i) {
      if (i == 7) csv_ops += std::stoull(field);
    }
  }
  for (const json& run : doc["runs"]) json_ops += run["result"]["total_ops"].get<std::uint64_t>();
  EXPECT_EQ(rows, samples);
  EXPECT_EQ(csv_ops, json_ops);

  std::istringstream md(read_file(dir.file("r.md")));
  std::vector<std::string> table;
  while (std::getline(md, line)) {
    if (line.rfind("|", 0) == 0) table.push_back(line);
  }
  ASSERT_EQ(table.size(), 4u) << "header, alignment row, one row per run";
  EXPECT_NE(table[0].find("Score (ops/s)"), std::string::npos);
  EXPECT_NE(table[2].find("| single worker | completed |"), std::string::npos) << table[2];
  EXPECT_NE(table[3].find("| all CPUs | completed |"), std::string::npos) << table[3];

  const std::string html = read_file(dir.file("r.html"));
  EXPECT_EQ(html.rfind("<!DOCTYPE html>", 0), 0u);
  EXPECT_EQ(chart_count(html), 2u) << "one chart per benchmark";
  EXPECT_NE(html.find("</html>"), std::string::npos);
}

TEST(Command, RepeatRunsEverySeriesAndExportsEachRun) {
  const Finished done = run_command({"--repeat", "2", "--warmup", "0", "--measure", "0.3", "--json"});
  ASSERT_EQ(done.status, 0) << done.err;
  const json doc = json::parse(done.out);
  ASSERT_EQ(doc["runs"].size(), 4u);
  const char* names[] = {"single", "single", "all-cpus", "all-cpus"};
  for (std::size_t i = 0; i < 4; ++i) {
    expect_consistent_run(doc["runs"][i]);
    EXPECT_EQ(doc["runs"][i]["name"], names[i]);
    EXPECT_EQ(doc["runs"][i]["repeat"], i % 2 + 1);
  }
  EXPECT_NE(done.err.find("[4/4 all CPUs] done"), std::string::npos) << "the progress counts every run\n" << done.err;

  const Finished summary = run_command({"--single", "--repeat", "2", "--warmup", "0", "--measure", "0.3", "-q"});
  ASSERT_EQ(summary.status, 0) << summary.err;
  // The separator depends on the locale's character set; the words do not.
  EXPECT_NE(summary.out.find("single worker"), std::string::npos) << summary.out;
  EXPECT_NE(summary.out.find("run 2\n"), std::string::npos) << summary.out;
  EXPECT_NE(summary.out.find("CV across runs"), std::string::npos) << summary.out;
}

// --precision: a loose goal is reached after the fewest runs, later runs
// warm up briefly; an unreachable one stops before the budget would pass.
TEST(Command, PrecisionStopsWhenReachedOrAtTheBudget) {
  // Both benchmarks, every export: a loose goal is met after the fewest runs.
  const TempDir dir;
  const Finished reached =
      run_command({"--precision", "100", "--warmup", "2.1", "--measure", "0.3", "--json", "-q", "--export-csv",
                   dir.file("r.csv"), "--export-markdown", dir.file("r.md"), "--export-html", dir.file("r.html")});
  ASSERT_EQ(reached.status, 0) << reached.err;
  const json doc = json::parse(reached.out);
  for (const char* name : {"single", "all-cpus"}) {
    SCOPED_TRACE(name);
    std::vector<double> warmups;
    for (const json& run : doc["runs"]) {
      if (run["name"] == name) warmups.push_back(run["config"]["warmup_seconds"].get<double>());
    }
    // A loose goal is met after the fewest runs, unless the machine is very
    // busy; each series starts with the given warm-up and goes on briefly.
    ASSERT_GE(warmups.size(), 3u);
    EXPECT_EQ(warmups[0], 2.1);
    EXPECT_EQ(warmups.back(), 2.0);
  }
  ASSERT_EQ(doc["series"].size(), 2u);
  for (const json& series : doc["series"]) {
    EXPECT_EQ(series["precision"]["stopped"], "reached");
    EXPECT_LE(series["half_width_percent"].get<double>(), 100.0);
  }
  EXPECT_NE(read_file(dir.file("r.csv")).find("\nall-cpus,3,2,completed,"), std::string::npos);
  EXPECT_NE(read_file(dir.file("r.md")).find("| all CPUs | "), std::string::npos) << read_file(dir.file("r.md"));
  EXPECT_NE(read_file(dir.file("r.html")).find("<svg class=\"chart series\""), std::string::npos);

  const Finished budget = run_command({"--all-cpus", "--precision", "0.01", "--max-time", "2", "--warmup", "0",
                                       "--measure", "0.3", "-q", "--export-json", dir.file("b.json")});
  ASSERT_EQ(budget.status, 0) << budget.err;
  EXPECT_NE(budget.out.find("the budget of 2 s ran out at"), std::string::npos) << budget.out;
  EXPECT_NE(budget.out.find("Moved by"), std::string::npos) << budget.out;
  // The saved series reads back with how it ended.
  const Finished again = run_command({"report", dir.file("b.json")});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("the budget of 2 s ran out at"), std::string::npos) << again.out;
}

TEST(Command, ReportPrintsTheSummaryOfASavedRunAgain) {
  TempDir dir;
  const Finished done = run_command({"--warmup", "0", "--measure", "0.3", "-q", "--export-json", dir.file("r.json")});
  ASSERT_EQ(done.status, 0) << done.err;
  const Finished report = run_command({"report", dir.file("r.json")});
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_EQ(report.out, done.out) << "the same text as after the run, warnings included";
  EXPECT_TRUE(report.err.empty()) << report.err;
  const Finished html = run_command({"report", dir.file("r.json"), "--export-html", dir.file("r.html")});
  EXPECT_EQ(html.status, 0) << html.err;
  EXPECT_EQ(html.out, done.out);
  EXPECT_EQ(chart_count(read_file(dir.file("r.html"))), 2u) << "a saved run re-rendered, one chart per benchmark";

  const Finished missing = run_command({"report", dir.file("missing.json")});
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "truvello: " + dir.file("missing.json") + ": cannot open: No such file or directory\n");
  EXPECT_TRUE(missing.out.empty());
  EXPECT_EQ(run_command({"report"}).status, 64);
  EXPECT_EQ(run_command({"--single", "report", dir.file("r.json")}).status, 64) << "run options with a subcommand";
}

// The run's samples replaced by a steady series around its score, wobbling
// by 1 %, with every total made to agree: a stand-in for a run on a quiet
// machine, so that the gate below does not depend on how busy this one is.
// With `seconds`, the series is rebuilt as that many one-second samples.
json steadied(json doc, double scale, std::size_t seconds_wanted = 0) {
  for (json& run : doc["runs"]) {
    if (run["status"] != 0) continue;
    const double score = run["result"]["mean_rate"].get<double>() * scale;
    if (seconds_wanted > 0) {
      run["samples"] = json::array();
      for (std::size_t i = 0; i < seconds_wanted; ++i) {
        run["samples"].push_back(json{{"t", static_cast<double>(i + 1)}, {"dt", 1.0}, {"ops", 0}, {"rate", 0.0}});
      }
      run["result"]["sample_count"] = seconds_wanted;
    }
    std::uint64_t total = 0;
    double seconds = 0.0;
    for (std::size_t i = 0; i < run["samples"].size(); ++i) {
      json& s = run["samples"][i];
      const double dt = s["dt"].get<double>();
      const auto ops = static_cast<std::uint64_t>(std::llround(score * dt * (i % 2 == 0 ? 1.01 : 0.99)));
      s["ops"] = ops;
      s["rate"] = static_cast<double>(ops) / dt;
      total += ops;
      seconds += dt;
    }
    run["result"]["total_ops"] = total;
    run["result"]["measured_seconds"] = seconds;
    run["result"]["mean_rate"] = static_cast<double>(total) / seconds;
  }
  return doc;
}

// A series of steadied copies of the document's first run, one per scale, as
// --repeat records them: numbered from 1, the scaled run's score its scale
// times the first run's.
json series_of(const json& doc, const std::vector<double>& scales) {
  json out = doc;
  out["runs"] = json::array();
  for (std::size_t i = 0; i < scales.size(); ++i) {
    json run = steadied(doc, scales[i], 10)["runs"][0];
    run["repeat"] = i + 1;
    out["runs"].push_back(run);
  }
  return out;
}

void write_file(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr) << path;
  std::fputs(text.c_str(), f);
  std::fclose(f);
}

TEST(Command, CompareTwoRealRunsACopyAndASlowerCandidate) {
  TempDir dir;
  const std::string base = dir.file("base.json"), cand = dir.file("cand.json");
  for (const std::string& file : {base, cand}) {
    const Finished run = run_command({"--single", "--warmup", "0", "--measure", "7", "-q", "--export-json", file});
    ASSERT_EQ(run.status, 0) << run.err;
  }

  // Two real runs: whatever the verdict, the figures agree with each other.
  const Finished real = run_command({"compare", base, cand, "--json"});
  ASSERT_EQ(real.status, 0) << real.err;
  const json doc = json::parse(real.out);
  ASSERT_EQ(doc["comparisons"].size(), 1u) << real.out;
  const json& row = doc["comparisons"][0];
  EXPECT_EQ(row["benchmark"], "single");
  EXPECT_NEAR(row["ratio"].get<double>(), row["candidate_score"].get<double>() / row["baseline_score"].get<double>(),
              1e-12);
  const std::string verdict = row["verdict"];
  EXPECT_TRUE(verdict == "faster" || verdict == "slower" || verdict == "same") << verdict;
  if (!row["ci_low"].is_null()) {
    EXPECT_LE(row["ci_low"].get<double>(), row["ratio"].get<double>());
    EXPECT_GE(row["ci_high"].get<double>(), row["ratio"].get<double>());
    EXPECT_EQ(verdict == "same", row["ci_low"].get<double>() <= 1.0 && 1.0 <= row["ci_high"].get<double>());
  }
  const Finished table = run_command({"compare", base, cand});
  EXPECT_EQ(table.status, 0) << table.err;
  EXPECT_NE(table.out.find("single worker"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("95 % interval"), std::string::npos) << table.out;
  EXPECT_EQ(table.out.find('\x1b'), std::string::npos) << "no colour on a pipe";

  // A copy of a run against itself.
  const std::string copy = dir.file("copy.json");
  write_file(copy, read_file(base));
  const json same = json::parse(run_command({"compare", base, copy, "--json"}).out);
  EXPECT_EQ(same["comparisons"][0]["verdict"], "same");
  EXPECT_EQ(same["comparisons"][0]["ratio"], 1.0);

  // The gate judges series only: one run a side is refused with one line,
  // the comparison still printed for reading.
  const Finished one_run = run_command({"compare", base, cand, "--fail-if-slower", "5"});
  EXPECT_EQ(one_run.status, 2);
  EXPECT_EQ(one_run.err, "truvello: " + base +
                             " has 1 completed run of the single worker benchmark; --fail-if-slower needs at least 3 "
                             "on each side: record them with --repeat 3 or --precision PCT\n");
  EXPECT_NE(one_run.out.find("these runs only"), std::string::npos) << one_run.out;

  // Five steady runs against five 10 % slower, the third of them slowed by a
  // further quarter: that run is named and left out, the slowdown fails a
  // 5 % gate and passes a 15 % one, and the Markdown export says the same.
  const std::string steady = dir.file("steady.json"), slower = dir.file("slower.json");
  const json recorded = json::parse(read_file(base));
  write_file(steady, series_of(recorded, {1.0, 1.01, 1.0, 0.99, 1.0}).dump());
  write_file(slower, series_of(recorded, {0.9, 0.909, 0.9 * 0.75, 0.891, 0.9}).dump());
  const Finished gate =
      run_command({"compare", steady, slower, "--fail-if-slower", "5", "--export-markdown", dir.file("c.md")});
  EXPECT_EQ(gate.status, 1) << gate.out << gate.err;
  EXPECT_NE(gate.err.find("slower.json is slower than " + steady + " on the single worker benchmark by 10"),
            std::string::npos)
      << gate.err;
  EXPECT_NE(gate.out.find(slower + ": the single worker run 3 stood 25."), std::string::npos) << gate.out;
  const std::string md = read_file(dir.file("c.md"));
  EXPECT_NE(md.find("| **slower** |"), std::string::npos) << md;
  EXPECT_NE(md.find("(4 of 5 runs)"), std::string::npos) << md;
  const json series = json::parse(run_command({"compare", steady, slower, "--json"}).out);
  const json& judged = series["comparisons"][0];
  EXPECT_EQ(judged["scope"], "series");
  EXPECT_NEAR(judged["ratio"].get<double>(), 0.9, 0.005);
  EXPECT_EQ(judged["candidate_kept"], 4);
  ASSERT_EQ(judged["candidate_disturbed"].size(), 1u) << judged.dump();
  EXPECT_EQ(judged["candidate_disturbed"][0]["repeat"], 3);
  EXPECT_NEAR(judged["candidate_disturbed"][0]["off_percent"].get<double>(), -25.0, 0.5);
  EXPECT_EQ(run_command({"compare", steady, slower, "--fail-if-slower", "15"}).status, 0);

  // The HTML export overlays baseline and candidate.
  const std::string one = dir.file("one.json"), one_slower = dir.file("one_slower.json");
  write_file(one, steadied(recorded, 1.0).dump());
  write_file(one_slower, steadied(recorded, 0.9).dump());
  ASSERT_EQ(run_command({"compare", one, one_slower, "--export-html", dir.file("c.html")}).status, 0);
  const std::string html = read_file(dir.file("c.html"));
  EXPECT_EQ(chart_count(html), 1u) << "baseline and candidate overlaid in one chart";
  EXPECT_NE(html.find("one_slower.json"), std::string::npos) << "each line labelled with its file";
  EXPECT_LT(html.find("<section id=\"comparison\">"), html.find("<section class=\"benchmark\"")) << "the answer first";
  EXPECT_NE(html.find("class=\"verdict-"), std::string::npos) << "the verdict in the table";
  EXPECT_EQ(run_command({"compare", one, one_slower, "--export-html", "/nonexistent/c.html"}).status, 2);
}

// The first control character, DEL or C1 character in a text meant for a
// terminal ("\n" aside), as an offset; npos when there is none.
std::size_t first_control(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n') || c == 0x7f) return i;
    if (c == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
        static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      return i;
    }
  }
  return std::string::npos;
}

// A saved run whose machine facts, warnings and file name would retitle and
// clear a terminal, and a file name that is not UTF-8: every view of it
// shows the text with its control characters escaped, and every JSON the
// command writes of it is valid.
TEST(Command, HostileTextsNeverReachTheTerminal) {
  TempDir dir;
  const std::string plain = dir.file("plain.json");
  ASSERT_EQ(run_command({"--single", "--warmup", "0", "--measure", "1.2", "-q", "--export-json", plain}).status, 0);
  json doc = json::parse(read_file(plain));
  const std::string hostile =
      "\x1b]0;owned\x07\x1b[2J\xC2\x9B"
      "31m\x7f\xC2\x85";
  doc["machine"]["cpu_model"] = "CPU " + hostile;
  doc["machine"]["kernel"] = "Linux " + hostile;
  doc["library"]["version"] = "1" + hostile;
  doc["runs"][0]["warnings"].push_back(json{{"code", "drift"}, {"message", "moved " + hostile}});
  const std::string evil = dir.file("\x1b[2J\xff.json");
  write_file(evil, doc.dump());

  const struct {
    std::vector<std::string> args;
    int status;
  } views[] = {
      {{"report", evil}, 0},
      {{"compare", plain, evil}, 0},
      {{"compare", evil, plain, "--export-markdown", dir.file("c.md"), "--export-html", dir.file("c.html")}, 0},
      {{"compare", plain, evil, "--fail-if-slower", "5"}, 2},
      {{"report", dir.file("missing\x1b[2J.json")}, 2},
  };
  for (const auto& view : views) {
    const Finished done = run_command(view.args);
    SCOPED_TRACE(view.args[0] + " " + view.args[1]);
    EXPECT_EQ(done.status, view.status) << done.err;
    EXPECT_EQ(first_control(done.out), std::string::npos) << done.out;
    EXPECT_EQ(first_control(done.err), std::string::npos) << done.err;
  }
  EXPECT_NE(run_command({"report", evil}).out.find("\\x1b]0;owned\\x07"), std::string::npos);

  const Finished as_json = run_command({"compare", plain, evil, "--json"});
  ASSERT_EQ(as_json.status, 0) << as_json.err;
  const json parsed = json::parse(as_json.out);
  EXPECT_EQ(parsed["candidates"][0].get<std::string>().find("\xEF\xBF\xBD"), dir.file("").size() + 4)
      << "the byte that is not UTF-8 replaced";
  // JSON on a terminal: no control character raw, C1 and DEL included, and
  // the model reads back as it was.
  EXPECT_EQ(first_control(as_json.out), std::string::npos) << as_json.out;
  EXPECT_NE(as_json.out.find("\\u009b31m\\u007f\\u0085"), std::string::npos);
  bool model_named = false;
  for (const json& note : parsed["notes"]) {
    model_named = model_named || note.get<std::string>().find("CPU " + hostile) != std::string::npos;
  }
  EXPECT_TRUE(model_named) << "a note names the CPU models as they were";
  const Finished fleet = run_command({"fleet", evil, "--json"});
  ASSERT_EQ(fleet.status, 0) << fleet.err;
  EXPECT_EQ(first_control(fleet.out), std::string::npos) << fleet.out;
  EXPECT_EQ(json::parse(fleet.out)["groups"][0]["cpu_model"], "CPU " + hostile);
  const std::string html = read_file(dir.file("c.html"));
  EXPECT_EQ(html.find('\x1b'), std::string::npos);
}

TEST(Command, CompareRefusesWhatItCannotUse) {
  TempDir dir;
  const std::string single = dir.file("single.json"), all = dir.file("all.json");
  ASSERT_EQ(run_command({"--single", "--warmup", "0", "--measure", "0.3", "-q", "--export-json", single}).status, 0);
  ASSERT_EQ(run_command({"--all-cpus", "--warmup", "0", "--measure", "0.3", "-q", "--export-json", all}).status, 0);
  const Finished different = run_command({"compare", single, all});
  EXPECT_EQ(different.status, 2);
  EXPECT_EQ(different.err,
            "truvello: " + single + " and " + all + " have no benchmark with a completed run in common\n");
  EXPECT_TRUE(different.out.empty());

  write_file(dir.file("bad.json"), read_file(single).substr(0, 100));
  const Finished truncated = run_command({"compare", single, dir.file("bad.json")});
  EXPECT_EQ(truncated.status, 2);
  EXPECT_EQ(truncated.err.rfind("truvello: " + dir.file("bad.json") + ": not valid JSON (", 0), 0u) << truncated.err;
  EXPECT_EQ(std::count(truncated.err.begin(), truncated.err.end(), '\n'), 1) << "one line";

  EXPECT_EQ(run_command({"compare", single}).status, 64);
  EXPECT_EQ(run_command({"compare", single, single, "--fail-if-slower", "-3"}).status, 64);

  // Colour on a terminal, unless NO_COLOR says otherwise. A copy against
  // itself is "same", which is never coloured, so a scaled one is used.
  const std::string slower = dir.file("slower.json");
  write_file(slower, steadied(json::parse(read_file(single)), 0.5, 10).dump());
  const std::string steady = dir.file("steady.json");
  write_file(steady, steadied(json::parse(read_file(single)), 1.0, 10).dump());
  Child coloured({"compare", steady, slower}, Child::Output::kTerminal);
  EXPECT_NE(coloured.finish().out.find("\x1b[31mslower"), std::string::npos);
  setenv("NO_COLOR", "1", 1);
  Child plain({"compare", steady, slower}, Child::Output::kTerminal);
  const Finished plain_done = plain.finish();
  unsetenv("NO_COLOR");
  EXPECT_EQ(plain_done.out.find('\x1b'), std::string::npos) << plain_done.out;
  EXPECT_NE(plain_done.out.find("slower"), std::string::npos) << plain_done.out;
}

// Cancels a long run once it is measuring and checks what is left.
void expect_cancelled_by(int signo, int expected_status) {
  TempDir dir;
  Child child({"--single", "--warmup", "0", "--measure", "600", "--export-json", dir.file("r.json"), "--export-html",
               dir.file("r.html")},
              Child::Output::kPipes);
  ASSERT_TRUE(child.wait_for("measuring for")) << "the run never reached its measurement";
  child.send(signo);
  const Finished done = child.finish();
  EXPECT_EQ(done.status, expected_status) << done.err;

  const json doc = json::parse(read_file(dir.file("r.json")));
  ASSERT_EQ(doc["runs"].size(), 1u);
  const json& run = doc["runs"][0];
  expect_consistent_run(run);
  EXPECT_EQ(run["status"], 1);
  EXPECT_EQ(run["reason"], "cancelled");
  EXPECT_EQ(run["result"]["mean_rate"], 0.0);
  EXPECT_EQ(run["result"]["cv_valid"], 0);
  EXPECT_NE(done.out.find("  Status       cancelled\n"), std::string::npos) << done.out;
  EXPECT_NE(done.err.find("] cancelled"), std::string::npos) << done.err;
  const std::string html = read_file(dir.file("r.html"));
  EXPECT_NE(html.find("<td data-label=\"Status\">cancelled</td>"), std::string::npos) << "the partial run is shown too";
}

TEST(Command, SigintCancelsWithStatus130AndKeepsThePartialResult) { expect_cancelled_by(SIGINT, 130); }

TEST(Command, SigintEndsAWholeSeries) {
  TempDir dir;
  Child child({"--repeat", "3", "--warmup", "0", "--measure", "600", "--export-json", dir.file("r.json")},
              Child::Output::kPipes);
  ASSERT_TRUE(child.wait_for("measuring for")) << "the run never reached its measurement";
  child.send(SIGINT);
  const Finished done = child.finish();
  EXPECT_EQ(done.status, 130) << done.err;
  const json doc = json::parse(read_file(dir.file("r.json")));
  ASSERT_EQ(doc["runs"].size(), 1u) << "no later run of the series, nor of the other benchmark";
  EXPECT_EQ(doc["runs"][0]["repeat"], 1);
  EXPECT_EQ(doc["runs"][0]["status"], 1);
  EXPECT_NE(done.err.find("[1/6 single worker]"), std::string::npos) << done.err;
}

TEST(Command, SigtermCancelsWithStatus143AndKeepsThePartialResult) { expect_cancelled_by(SIGTERM, 143); }

TEST(Command, UnwritableExportFailsBeforeMeasuring) {
  // Ten minutes of measuring would end in the test's timeout: the path is
  // checked first.
  const Finished done = run_command({"--warmup", "0", "--measure", "600", "--export-html", "/nonexistent/r.html"});
  EXPECT_EQ(done.status, 2);
  EXPECT_EQ(done.err.rfind("truvello: cannot write /nonexistent/r.html: ", 0), 0u) << done.err;
  EXPECT_EQ(std::count(done.err.begin(), done.err.end(), '\n'), 1) << done.err;
  EXPECT_TRUE(done.out.empty()) << done.out;
}

TEST(Command, UnknownOptionIsAUsageError) {
  const Finished done = run_command({"--warmup", "0", "--bogus"});
  EXPECT_EQ(done.status, 64);
  EXPECT_NE(done.err.find("--bogus"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find("Usage:"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find("--measure"), std::string::npos) << "the usage lists the options";
  EXPECT_TRUE(done.out.empty()) << done.out;
}

TEST(Command, NonNumericLengthIsAUsageErrorNamingTheOption) {
  const Finished done = run_command({"--measure", "five"});
  EXPECT_EQ(done.status, 64);
  EXPECT_NE(done.err.find("--measure"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find("five"), std::string::npos) << done.err;
  EXPECT_TRUE(done.out.empty());
}

TEST(Command, ZeroMeasurementFailsWithTheLibrarysReason) {
  const Finished plain = run_command({"--measure", "0"});
  EXPECT_EQ(plain.status, 2);
  EXPECT_NE(plain.err.find(kDurationsReason), std::string::npos) << plain.err;
  EXPECT_NE(plain.out.find(kDurationsReason), std::string::npos) << plain.out;

  const Finished as_json = run_command({"--measure", "0", "--json", "--quiet"});
  EXPECT_EQ(as_json.status, 2);
  const json doc = json::parse(as_json.out);
  ASSERT_EQ(doc["runs"].size(), 1u) << "the command stops at the first failed run";
  EXPECT_EQ(doc["runs"][0]["reason"], kDurationsReason);
  EXPECT_EQ(doc["runs"][0]["status"], 2);
  EXPECT_EQ(doc["runs"][0]["result"]["workers"], 0);
}

TEST(Command, ProgressBarIsDrawnOnATerminal) {
  Child child({"--single", "--warmup", "0.2", "--measure", "0.5"}, Child::Output::kTerminal);
  const Finished done = child.finish();
  EXPECT_EQ(done.status, 0) << done.out;
  // Redrawn in place: carriage return, erase line, then the bar's content.
  EXPECT_NE(done.out.find("\r\x1b[2K[1/1 single worker] "), std::string::npos) << done.out;
  EXPECT_NE(done.out.find(" elapsed"), std::string::npos) << done.out;
  EXPECT_NE(done.out.find(" left"), std::string::npos) << done.out;
  EXPECT_NE(done.out.find("1 worker"), std::string::npos) << done.out;
  // The bar gives way to a line that stays, then the summary.
  EXPECT_NE(done.out.find("\r\x1b[2Ktruvello: [1/1 single worker] done: "), std::string::npos) << done.out;
  EXPECT_NE(done.out.find("Score"), std::string::npos) << done.out;
}

TEST(Command, QuietDrawsNothingEvenOnATerminal) {
  Child child({"--single", "--quiet", "--warmup", "0", "--measure", "0.3"}, Child::Output::kTerminal);
  const Finished done = child.finish();
  EXPECT_EQ(done.status, 0) << done.out;
  EXPECT_EQ(done.out.find('\x1b'), std::string::npos) << done.out;
  EXPECT_EQ(done.out.find("elapsed"), std::string::npos) << done.out;
  EXPECT_EQ(done.out.find("truvello: ["), std::string::npos) << done.out;
  EXPECT_NE(done.out.find("Score"), std::string::npos) << done.out;
}

TEST(Command, PipeGetsPlainPhaseLinesWithoutEscapes) {
  const Finished done = run_command({"--single", "--warmup", "0.2", "--measure", "0.3"});
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(done.err.find('\x1b'), std::string::npos) << done.err;
  EXPECT_EQ(done.err.find('\r'), std::string::npos) << done.err;
  EXPECT_EQ(done.err.find("elapsed"), std::string::npos) << done.err;
  EXPECT_NE(done.err.find("truvello: [1/1 single worker] measuring for 0.3 s with 1 worker\n"), std::string::npos)
      << done.err;
  EXPECT_NE(done.err.find("truvello: [1/1 single worker] done: "), std::string::npos) << done.err;
  EXPECT_EQ(done.out.find('\x1b'), std::string::npos) << "no escape codes in the summary either";
}

// `truvello ab`: each setup and the restore append a line to a log, so that
// the test sees what ran, in which order and how often.
class AbSeries : public ::testing::Test {
 protected:
  TempDir dir;
  std::string log = dir.file("log");

  std::string append(const std::string& what) const { return "echo \"" + what + "\" >> '" + log + "'"; }
  std::vector<std::string> lines() const {
    std::istringstream in(read_file(log));
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
  }
  long restores() const {
    const auto all = lines();
    return std::count(all.begin(), all.end(), "restore");
  }
  std::vector<std::string> args(const std::string& setup_b, const std::string& measure) const {
    return {"ab",
            "--setup-a",
            append("$TRUVELLO_SIDE $TRUVELLO_PID") + "; echo setup-ran >&2",
            "--setup-b",
            setup_b,
            "--restore",
            append("restore"),
            "--label-b",
            "fast\x1b[2J",
            "--warmup",
            "0",
            "--measure",
            measure,
            "--repeat",
            "2",
            "--seed",
            "7",
            "--export-json",
            dir.file("ab.json")};
  }
};

TEST_F(AbSeries, RunsInTheSeededOrderAndReportAndCompareReadTheDocument) {
  const Finished done = run_command(args(append("$TRUVELLO_SIDE"), "0.3"));
  ASSERT_EQ(done.status, 0) << done.err;
  // Seed 7 starts with BAAB; every setup saw its side, A also this command's id.
  const std::vector<std::string> ran = lines();
  ASSERT_EQ(ran.size(), 5u);
  EXPECT_EQ(ran[0], "B");
  EXPECT_EQ(ran[1].substr(0, 2), "A ");
  EXPECT_GT(std::atoi(ran[1].c_str() + 2), 1);
  EXPECT_EQ(ran[3], "B");
  EXPECT_EQ(ran[4], "restore");
  EXPECT_EQ(done.out.find('\x1b'), std::string::npos) << "a label reaches the terminal made safe";
  EXPECT_NE(done.out.find("seed            7"), std::string::npos) << done.out;

  const json doc = json::parse(read_file(dir.file("ab.json")));
  EXPECT_EQ(doc["ab"]["seed"], 7);
  EXPECT_EQ(doc["ab"]["order"], "BAAB");
  EXPECT_EQ(doc["ab"]["stopped"], "done");
  ASSERT_EQ(doc["runs"].size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(doc["runs"][i]["side"], std::string(1, "BAAB"[i]));
  EXPECT_EQ(doc["runs"][0]["label"], "fast\x1b[2J");
  ASSERT_EQ(doc["ab"]["pairs"].size(), 2u);
  EXPECT_EQ(doc["ab"]["pairs"][0]["b_run"], 0);
  EXPECT_EQ(doc["ab"]["estimate"]["method"], "paired-t-log-ratio");
  EXPECT_TRUE(doc["ab"]["estimate"]["ci_low"].is_number());

  const Finished report = run_command({"report", dir.file("ab.json")});
  EXPECT_EQ(report.status, 0) << report.err;
  EXPECT_NE(report.out.find("B / A"), std::string::npos) << report.out;
  const Finished sides = run_command({"compare", "--json", dir.file("ab.json") + "#A", dir.file("ab.json") + "#B"});
  ASSERT_EQ(sides.status, 0) << sides.err;
  const json row = json::parse(sides.out)["comparisons"][0];
  EXPECT_EQ(row["baseline_runs"], 2);
  EXPECT_EQ(row["candidate_runs"], 2);
  const Finished whole = run_command({"compare", dir.file("ab.json"), dir.file("ab.json")});
  EXPECT_EQ(whole.status, 2);
  EXPECT_NE(whole.err.find("#A"), std::string::npos) << whole.err;
}

TEST_F(AbSeries, AFailingSetupStopsTheSeriesAndTheRestoreRunsOnce) {
  const Finished done = run_command(args("exit 3", "0.3"));
  EXPECT_EQ(done.status, 2);
  EXPECT_NE(done.err.find("the setup of side B (fast\\x1b[2J), `exit 3`, exited with status 3"), std::string::npos)
      << done.err;
  EXPECT_EQ(restores(), 1);
  EXPECT_EQ(lines().size(), 1u) << "no setup after the failed one";
  const json doc = json::parse(read_file(dir.file("ab.json")));
  EXPECT_EQ(doc["ab"]["stopped"], "setup-failed");
  EXPECT_EQ(doc["runs"].size(), 0u);
}

TEST_F(AbSeries, CtrlCOrSigtermInTheMiddleRunsTheRestoreOnce) {
  for (const auto& [signo, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
    SCOPED_TRACE(signo);
    std::remove(log.c_str());
    Child child(args(append("$TRUVELLO_SIDE"), "600"), Child::Output::kPipes);
    ASSERT_TRUE(child.wait_for("measuring for")) << "the first run never began";
    child.send(signo);
    const Finished done = child.finish();
    EXPECT_EQ(done.status, status) << done.err;
    EXPECT_EQ(restores(), 1);
    const json doc = json::parse(read_file(dir.file("ab.json")));
    EXPECT_EQ(doc["ab"]["stopped"], "cancelled");
    ASSERT_EQ(doc["runs"].size(), 1u);
    EXPECT_EQ(doc["runs"][0]["status_text"], "cancelled");
  }
}

// A signal while a setup hangs: the setup's whole group is ended (SIGTERM,
// then SIGKILL for one that ignores it), the restore runs once, and the
// series counts as cancelled, not as a failed setup.
TEST_F(AbSeries, ASignalWhileASetupHangsEndsItsGroupThenRestoresOnce) {
  using Clock = std::chrono::steady_clock;
  const std::string group_file = dir.file("group");
  // The shell leads the setup's group; `sleep` is a member of it, and
  // inherits the ignored TERM.
  const std::string hang = "echo $$ > '" + group_file + "'; echo hanging >&2; sleep 60";
  const struct {
    const char* what;
    std::string setup;
    double least_seconds;  // from the signal to the end
    double most_seconds;
  } cases[] = {
      {"ends at SIGTERM", hang, 0.0, 4.0},
      {"ignores SIGTERM", "trap '' TERM; " + hang, 4.5, 5.0 + 3.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(log.c_str());
    std::remove(group_file.c_str());
    // Seed 7 starts with B: its setup is the first to run.
    Child child(args(c.setup, "0.3"), Child::Output::kPipes);
    ASSERT_TRUE(child.wait_for("hanging")) << "the setup never ran";
    const Clock::time_point sent = Clock::now();
    child.send(SIGTERM);
    const Finished done = child.finish(std::chrono::seconds(20));
    const double seconds = std::chrono::duration<double>(Clock::now() - sent).count();
    ASSERT_FALSE(done.hung) << done.err;
    EXPECT_EQ(done.status, 143) << done.err;
    EXPECT_GE(seconds, c.least_seconds);
    EXPECT_LE(seconds, c.most_seconds);
    EXPECT_EQ(restores(), 1);
    EXPECT_EQ(done.err.find("the setup of side"), std::string::npos) << "cancelled, not failed: " << done.err;
    const json doc = json::parse(read_file(dir.file("ab.json")));
    EXPECT_EQ(doc["ab"]["stopped"], "cancelled");
    EXPECT_EQ(doc["runs"].size(), 0u);

    const pid_t group = std::atoi(read_file(group_file).c_str());
    ASSERT_GT(group, 1);
    // SIGKILL is sure but not instant: the group is given a moment to go.
    const Clock::time_point limit = Clock::now() + std::chrono::seconds(2);
    while (process_group_alive(group) && Clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_FALSE(process_group_alive(group)) << "a process of the setup's group is still running";
  }
}

// A setup or restore that stops, as one does when it reads from the
// terminal of a group it is not the foreground of (or gets SIGSTOP), would
// wait for ever: it is ended and named, and the command exits 2 instead of
// hanging.
TEST_F(AbSeries, ASetupOrRestoreThatStaysStoppedIsEndedAndNamed) {
  const struct {
    const char* what;
    std::vector<std::string> args;
    const char* line;  // what stderr names
    long restores;     // lines the restore appended
  } cases[] = {
      {"setup", args("kill -STOP $$", "0.3"), "the setup of side B", 1},
      {"restore",
       {"ab", "--setup-a", "true", "--setup-b", "true", "--restore", append("restore") + "; kill -STOP $$", "--warmup",
        "0", "--measure", "0.3", "--repeat", "2", "--seed", "7", "-q"},
       "the restore command",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::remove(log.c_str());
    const Finished done = run_command(c.args);
    ASSERT_FALSE(done.hung) << done.err;
    EXPECT_EQ(done.status, 2) << done.err;
    EXPECT_NE(done.err.find(c.line), std::string::npos) << done.err;
    EXPECT_NE(done.err.find("was stopped"), std::string::npos) << done.err;
    EXPECT_EQ(restores(), c.restores);
  }
}

// --precision for pairs: stops once B / A is known well enough, after at
// least the fewest pairs, and records what was asked.
TEST(Command, AbPrecisionStopsAfterWholePairsAndRecordsTheGoal) {
  const Finished done = run_command({"ab", "--setup-a", "true", "--setup-b", "true", "--precision", "50", "--max-time",
                                     "30", "--warmup", "0", "--measure", "0.5", "--seed", "7", "--json", "-q"});
  ASSERT_EQ(done.status, 0) << done.err;
  const json doc = json::parse(done.out);
  const json& ab = doc["ab"];
  EXPECT_EQ(ab["precision"]["target_percent"], 50.0);
  EXPECT_EQ(ab["precision"]["max_time_seconds"], 30.0);
  // A loose goal is met after the fewest pairs unless the machine is very
  // busy; then the budget ends the series.
  const std::string stopped = ab["stopped"];
  EXPECT_TRUE(stopped == "reached" || stopped == "budget") << stopped;
  const std::size_t runs = doc["runs"].size();
  EXPECT_GE(runs, 2 * 3u) << "at least the fewest pairs a series needs";
  EXPECT_EQ(runs % 2, 0u) << "whole pairs only";
  EXPECT_EQ(ab["order"].get<std::string>().size(), runs);
  EXPECT_EQ(ab["pairs"].size(), runs / 2);
  EXPECT_EQ(ab["order"].get<std::string>().substr(0, 4), "BAAB") << "the seeded order";
}

}  // namespace
}  // namespace truvello::cli::testing
