// The built command, run as a user would with tiny lengths.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "child_process.h"

namespace truvello::cli::testing {
namespace {

using nlohmann::json;

constexpr const char* kDurationsReason = "durations must be finite: warmup >= 0, measurement > 0";

Finished run_command(const std::vector<std::string>& args) { return Child(args, Child::Output::kPipes).finish(); }

// The invariants every run in a document must satisfy, whatever its status.
void expect_consistent_run(const json& run) {
  SCOPED_TRACE(run["name"].get<std::string>());
  const json& r = run["result"];
  ASSERT_TRUE(r.is_object());
  const json& samples = run["samples"];
  ASSERT_EQ(r["sample_count"].get<std::size_t>(), samples.size());
  std::uint64_t ops = 0;
  double covered = 0.0;
  double previous_t = 0.0;
  for (const json& s : samples) {
    ops += s["ops"].get<std::uint64_t>();
    const double t = s["t"].get<double>();
    const double dt = s["dt"].get<double>();
    EXPECT_GT(dt, 0.0);
    EXPECT_NEAR(t - dt, previous_t, 1e-9) << "samples must tile the window";
    EXPECT_NEAR(s["rate"].get<double>(), static_cast<double>(s["ops"].get<std::uint64_t>()) / dt,
                1e-6 * s["rate"].get<double>() + 1e-9);
    previous_t = t;
    covered += dt;
  }
  EXPECT_EQ(ops, r["total_ops"].get<std::uint64_t>()) << "samples must add up to the total";
  if (!samples.empty()) {
    EXPECT_NEAR(covered, r["measured_seconds"].get<double>(), 1e-9);
  }
  EXPECT_EQ(r["status"], run["status"]);
  EXPECT_EQ(r["benchmark"], run["config"]["benchmark"]);
}

TEST(Command, JsonDocumentAgreesWithTheResultRecords) {
  const Finished done = run_command({"--warmup", "0", "--measure", "0.3", "--json"});
  ASSERT_EQ(done.status, 0) << done.err;
  // Nothing but the document on stdout: parsing all of it must succeed.
  const json doc = json::parse(done.out);
  EXPECT_EQ(doc["schema_version"], 1);
  EXPECT_EQ(doc["library"]["version"], "0.0.2");
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
  }
  // Every completed run closes its window with a sample; how many whole
  // seconds came before it depends on scheduling, so only the minimum is sure.
  EXPECT_GE(samples, 2u);

  std::istringstream csv(read_file(dir.file("r.csv")));
  std::string line;
  std::getline(csv, line);
  EXPECT_EQ(line, "run,benchmark,status,index,t,dt,ops,rate");
  std::size_t rows = 0;
  std::uint64_t csv_ops = 0;
  std::uint64_t json_ops = 0;
  while (std::getline(csv, line)) {
    ++rows;
    std::istringstream fields(line);
    std::string field;
    for (int i = 0; i < 7 && std::getline(fields, field, ','); ++i) {
      if (i == 6) csv_ops += std::stoull(field);
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
  std::size_t charts = 0;
  for (std::size_t pos = html.find("<svg class=\"chart\""); pos != std::string::npos;
       pos = html.find("<svg class=\"chart\"", pos + 1)) {
    ++charts;
  }
  EXPECT_EQ(charts, 2u) << "one chart per benchmark";
  EXPECT_NE(html.find("</html>"), std::string::npos);
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

}  // namespace
}  // namespace truvello::cli::testing
