#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "document/json_report.h"
#include "output/csv_report.h"
#include "output/markdown_report.h"
#include "output/prometheus_text.h"
#include "output/summary.h"
#include "report_samples.h"
#include "test_samples.h"

namespace truvello::cli {
namespace {

using testing::completed_result;
using testing::one_second_samples;

std::size_t count_lines(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

RunOutcome completed_run(uint32_t benchmark, uint32_t workers, std::initializer_list<double> rates) {
  RunOutcome run;
  run.config = truvello_config{TRUVELLO_ABI_VERSION, 32, benchmark, 0, 2.0, 5.0};
  run.samples = one_second_samples(rates);
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples, benchmark, workers);
  run.reason = "";
  return run;
}

Invocation two_runs() {
  Invocation inv;
  inv.command_version = "9.9.9";
  inv.library_version = "1.4.0";
  inv.abi_version = 1;
  inv.machine.online_cpus = 4;
  inv.machine.cpu_model = "Test CPU";
  inv.machine.os_kernel = "Linux 6.1";
  inv.machine.hypervisor = true;
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {100, 100, 100, 100, 100}));
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_ALL_CPUS, 4, {300, 300, 300, 300, 300}));
  return inv;
}

TEST(JsonReport, CarriesEveryResultFieldAndTheSamples) {
  const Invocation inv = two_runs();
  const nlohmann::json doc = nlohmann::json::parse(json_text(view_of(inv)));
  EXPECT_EQ(doc["schema_version"], kJsonSchemaVersion);
  EXPECT_EQ(doc["command"]["version"], "9.9.9");
  EXPECT_EQ(doc["library"]["abi_version"], 1);
  EXPECT_EQ(doc["machine"]["cpu_model"], "Test CPU");
  EXPECT_EQ(doc["machine"]["hypervisor"], true);
  ASSERT_EQ(doc["runs"].size(), 2u);
  const auto& run = doc["runs"][1];
  EXPECT_EQ(run["name"], "all-cpus");
  EXPECT_EQ(run["repeat"], 1);
  EXPECT_EQ(run["config"]["benchmark"], 2);
  for (const char* field :
       {"abi_version", "status", "benchmark", "workers", "mean_rate", "warmup_seconds", "measurement_seconds",
        "measured_seconds", "cv_percent", "total_ops", "checksum", "sample_count", "unstable", "cv_valid"}) {
    EXPECT_TRUE(run["result"].contains(field)) << field;
  }
  EXPECT_EQ(run["result"]["checksum"].get<uint64_t>(), 0x0123456789abcdefULL);
  EXPECT_EQ(run["derived"]["checksum_hex"], "0x0123456789abcdef");
  ASSERT_EQ(run["samples"].size(), 5u);
  EXPECT_EQ(run["samples"][4]["ops"], 300);
  EXPECT_EQ(run["reason"], "");
  // 300 ops/s from 4 workers against 100 ops/s from one: 3x faster, 75 % efficient.
  EXPECT_DOUBLE_EQ(doc["scaling"]["efficiency"].get<double>(), 0.75);
  EXPECT_DOUBLE_EQ(doc["scaling"]["speedup"].get<double>(), 3.0);
  bool hypervisor_warned = false;
  for (const auto& w : run["warnings"]) hypervisor_warned |= w["code"] == "hypervisor";
  EXPECT_TRUE(hypervisor_warned);
}

TEST(JsonReport, NonFiniteNumbersBecomeNullAndTheDocumentStaysValid) {
  Invocation inv = two_runs();
  inv.runs.resize(1);
  inv.runs[0].config.warmup_seconds = std::numeric_limits<double>::quiet_NaN();
  inv.runs[0].status = TRUVELLO_STATUS_FAILED;
  inv.runs[0].result->status = TRUVELLO_STATUS_FAILED;
  inv.runs[0].result->warmup_seconds = std::numeric_limits<double>::quiet_NaN();
  inv.runs[0].reason = "durations must be finite: warmup >= 0, measurement > 0";
  inv.runs[0].samples.clear();
  const nlohmann::json doc = nlohmann::json::parse(json_text(view_of(inv)));
  EXPECT_TRUE(doc["runs"][0]["config"]["warmup_seconds"].is_null());
  EXPECT_TRUE(doc["runs"][0]["result"]["warmup_seconds"].is_null());
  EXPECT_EQ(doc["runs"][0]["status_text"], "failed");
  EXPECT_TRUE(doc["scaling"].is_null());
  EXPECT_TRUE(doc["runs"][0]["derived"]["median_rate"].is_null());
}

TEST(CsvReport, HeaderThenOneRowPerSampleWithItsRun) {
  const std::string csv = csv_text(two_runs());
  std::istringstream lines(csv);
  std::string header, first;
  std::getline(lines, header);
  std::getline(lines, first);
  EXPECT_EQ(header, "run,repeat,benchmark,status,index,t,dt,ops,rate");
  EXPECT_EQ(first, "single,1,1,completed,0,1,1,100,100");
  EXPECT_EQ(count_lines(csv), 1u + 5u + 5u);
  EXPECT_NE(csv.find("\nall-cpus,1,2,completed,4,5,1,300,300\n"), std::string::npos);
}

TEST(MarkdownReport, OneRowPerRunAndTheScaling) {
  Invocation inv = two_runs();
  inv.runs[1].status = TRUVELLO_STATUS_CANCELLED;
  inv.runs[1].result->status = TRUVELLO_STATUS_CANCELLED;
  inv.runs[1].reason = "stopped | by hand";
  const std::string md = markdown_text(view_of(inv));
  std::istringstream lines(md);
  std::string line;
  std::size_t rows = 0;
  while (std::getline(lines, line)) rows += line.rfind("| ", 0) == 0 ? 1 : 0;
  EXPECT_EQ(rows, 3u) << md;  // header + 2 runs
  EXPECT_NE(md.find("| single worker | completed | 100.0 |"), std::string::npos) << md;
  EXPECT_NE(md.find("| cancelled: stopped \\| by hand |"), std::string::npos) << "a pipe would break the table\n" << md;
  EXPECT_EQ(md.find("Scaling"), std::string::npos) << "no scaling without two completed runs";
  const Invocation both = two_runs();
  EXPECT_NE(markdown_text(view_of(both)).find("Scaling efficiency: 75.0 %"), std::string::npos);
}

TEST(Summary, ShowsTheFiguresAndWarnsOnce) {
  const Invocation inv = two_runs();
  const std::string text = summary_text(view_of(inv), Glyphs::kAscii);
  for (const char* part : {"Score", "100.0 ops/s", "300.0 ops/s", "Checksum", "0x0123456789abcdef", "Operations",
                           "Samples", "median", "Efficiency", "75.0 %"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  const std::size_t first = text.find("hypervisor");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(text.find("hypervisor", first + 1), std::string::npos) << "machine warning repeated";
  EXPECT_EQ(text.find("UNSTABLE"), std::string::npos);
  EXPECT_EQ(text.find("\xC2"), std::string::npos) << "plain glyphs must stay ASCII";
}

// A --repeat series: every run keeps its place, and the summary adds the
// median and the run-to-run spread of each benchmark with several runs.
TEST(Summary, SeriesShowsEveryRunAndTheSpread) {
  Invocation inv = two_runs();
  inv.runs.insert(inv.runs.begin() + 1, completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {120, 120, 120, 120, 120}));
  inv.runs.insert(inv.runs.begin() + 2, completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {110, 110, 110, 110, 110}));
  inv.runs.insert(inv.runs.begin() + 3, completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {}));
  inv.runs[3].status = TRUVELLO_STATUS_CANCELLED;
  inv.runs[3].result->status = TRUVELLO_STATUS_CANCELLED;
  for (std::uint32_t i = 0; i < 4; ++i) inv.runs[i].repeat = i + 1;

  const std::string text = summary_text(view_of(inv), Glyphs::kAscii);
  for (const char* part : {"benchmark 1, single worker, run 1\n", "benchmark 1, single worker, run 3\n",
                           "benchmark 1, single worker, run 4\n", "benchmark 2, all CPUs\n",
                           "series, single worker, 4 runs, 3 completed\n", "  Score        109.7 ops/s +/-",
                           "  Spread       mean 110.0, median 110.0, min 100.0, max 120.0, 9.09 % CV across runs\n"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  EXPECT_EQ(text.find("series, all CPUs"), std::string::npos) << "one run is no series";

  const nlohmann::json doc = nlohmann::json::parse(json_text(view_of(inv)));
  ASSERT_EQ(doc["runs"].size(), 5u);
  EXPECT_EQ(doc["runs"][2]["repeat"], 3);
  EXPECT_EQ(doc["runs"][4]["repeat"], 1);
  EXPECT_NE(csv_text(inv).find("\nsingle,3,1,completed,0,1,1,110,110\n"), std::string::npos);
  EXPECT_NE(markdown_text(view_of(inv)).find("| single worker, run 2 | completed | 120.0 |"), std::string::npos);
}

TEST(Summary, LongWarningsWrapUnderTheirFirstWord) {
  Invocation inv = two_runs();
  inv.machine.governors = {"powersave"};
  const std::string text = summary_text(view_of(inv), Glyphs::kBlocks);
  std::istringstream lines(text);
  std::string line;
  bool continuation = false;
  while (std::getline(lines, line)) {
    std::size_t width = 0;
    for (char c : line) width += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    EXPECT_LE(width, 80u) << line;
    continuation |= line.rfind("    ", 0) == 0;
  }
  EXPECT_TRUE(continuation) << text;
  EXPECT_NE(text.find("\u26A0 The CPU frequency governor"), std::string::npos) << text;
}

TEST(Summary, FlagsUnstableAndShowsReasons) {
  Invocation inv = two_runs();
  inv.runs[0].result->cv_valid = 1;
  inv.runs[0].result->cv_percent = 14.2;
  inv.runs[0].result->unstable = 1;
  inv.runs[1] = RunOutcome{};
  inv.runs[1].config.benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  inv.runs[1].status = TRUVELLO_STATUS_FAILED;
  inv.runs[1].result = truvello_result_record{};
  inv.runs[1].result->status = TRUVELLO_STATUS_FAILED;
  inv.runs[1].reason = "durations must be finite: warmup >= 0, measurement > 0";
  const std::string text = summary_text(view_of(inv), Glyphs::kBlocks);
  EXPECT_NE(text.find("14.2 % CV   UNSTABLE"), std::string::npos) << text;
  EXPECT_NE(text.find("failed: durations must be finite: warmup >= 0, measurement > 0"), std::string::npos);
  EXPECT_EQ(text.find("Efficiency"), std::string::npos);
}

}  // namespace
}  // namespace truvello::cli

namespace truvello::cli {
namespace {

TEST(StatusWithReason, SaysEachWordOnce) {
  EXPECT_EQ(status_with_reason(TRUVELLO_STATUS_COMPLETED, ""), "completed");
  EXPECT_EQ(status_with_reason(TRUVELLO_STATUS_CANCELLED, "cancelled"), "cancelled");
  EXPECT_EQ(status_with_reason(TRUVELLO_STATUS_CANCELLED, "cancelled before starting"), "cancelled before starting");
  EXPECT_EQ(status_with_reason(TRUVELLO_STATUS_FAILED, "unknown benchmark"), "failed: unknown benchmark");
}

}  // namespace
}  // namespace truvello::cli

namespace truvello::cli {
namespace {

// A --precision series that ran out of budget with one run slowed by other
// work: every output names the disturbed run, and the summary says how far it
// stood off, what the OS kernel saw of it, and what moved the series.
TEST(Reports, SeriesNamesTheDisturbedRunInEveryOutput) {
  Invocation inv = testing::series_invocation("Test CPU", testing::kSeriesWithASlowRun);
  WorkerObservation worker;
  worker.name = "truvello-0";
  worker.window_seconds = 60.0;
  worker.cpu_seconds = 42.6;
  worker.wait_seconds = 17.0;
  worker.involuntary_switches = 412;
  worker.cpus = {0, 1};
  inv.runs[3].observation = RunObservation{{worker}};
  inv.precision.push_back(PrecisionRecord{TRUVELLO_BENCHMARK_SINGLE, 0.1, 600.0, 598.2, "budget"});

  const std::string text = summary_text(view_of(inv), Glyphs::kAscii);
  for (const char* part :
       {"series, single worker, 5 runs\n", "  Score        30.05 M ops/s +/-",
        "  Precision    the budget of 600 s ran out at +/-", "after 5 runs in 598 s (asked +/-0.10 %)",
        "  Moved by     run 4 stood off the others; run 4 carried warnings (cpu_share,\n",
        "  Disturbed    run 4 stood 24.1 % below the others (z ", "truvello-0: 0.71 CPU"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }

  const nlohmann::json series = nlohmann::json::parse(json_text(view_of(inv)))["series"];
  ASSERT_EQ(series.size(), 1u);
  EXPECT_EQ(series[0]["kept"], 4);
  ASSERT_EQ(series[0]["disturbed"].size(), 1u);
  EXPECT_EQ(series[0]["disturbed"][0]["repeat"], 4);
  EXPECT_NEAR(series[0]["disturbed"][0]["off_percent"].get<double>(), -24.1, 0.1);
  EXPECT_EQ(series[0]["precision"]["stopped"], "budget");
  EXPECT_EQ(series[0]["precision"]["reached"], false);

  EXPECT_NE(markdown_text(view_of(inv)).find("| run 4 (-24.1 %) |"), std::string::npos) << markdown_text(view_of(inv));
}

// Three single runs whose host took three seconds of ten at half speed, and
// an all-CPU run too short for a capability: every output shows the
// capability beside the score, or says why there is none.
TEST(Reports, CapabilityBesideTheScoreInEveryOutput) {
  Invocation inv = two_runs();
  inv.runs.clear();
  for (std::uint32_t repeat = 1; repeat <= 3; ++repeat) {
    const double fast = 200.0 + repeat;
    inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 1,
                                     {fast, fast + 2, fast - 2, 100, 101, 99, fast, fast + 1, fast - 1, fast}));
    inv.runs.back().repeat = repeat;
  }
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_ALL_CPUS, 4, {300, 300, 150, 150, 300, 300, 300}));
  // The OS kernel saw the third run's worker wait for its CPU.
  WorkerObservation worker{"truvello-0", 10.0, 8.0, 2.0, 40, {0}, {}};
  inv.runs[2].observation = RunObservation{{worker}};

  const std::string text = summary_text(view_of(inv), Glyphs::kAscii);
  for (const char* part : {
           "  Score        170.7 ops/s\n  Capability   201.0 ops/s +/-1.00 %: slow spells took 15.1 % of the rate, "
           "with\n               nothing the OS kernel reported\n",
           // The OS kernel said something of this run, and of its series.
           "  Capability   203.0 ops/s +/-0.99 %: slow spells took 15.2 % of the rate\n",
           "  Capability   too few seconds for a capability: 5 in the fast cluster, 6 needed\n",
           "series, single worker, 3 runs\n  Score        171.4 ops/s +/-1.01 %   (95 % interval 169.7 - 173.1)\n"
           "  Capability   202.0 ops/s +/-1.23 %: slow spells took 15.1 % of the rate\n",
       }) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }

  const nlohmann::json doc = nlohmann::json::parse(json_text(view_of(inv)));
  const nlohmann::json& first = doc["runs"][0]["derived"];
  EXPECT_EQ(first["capability"], 201.0);
  EXPECT_EQ(first["capability_ci_low"], 199.0);
  EXPECT_EQ(first["capability_ci_high"], 203.0);
  EXPECT_DOUBLE_EQ(first["spell_share"].get<double>(),
                   1.0 - doc["runs"][0]["result"]["mean_rate"].get<double>() / 201.0);
  EXPECT_TRUE(first["capability_note"].is_null());
  const nlohmann::json& all_cpus = doc["runs"][3]["derived"];
  EXPECT_TRUE(all_cpus["capability"].is_null() && all_cpus["spell_share"].is_null());
  EXPECT_EQ(all_cpus["capability_note"], "too few seconds for a capability: 5 in the fast cluster, 6 needed");
  const nlohmann::json& series = doc["series"][0];
  EXPECT_NEAR(series["capability"].get<double>(), 202.0, 0.01);
  EXPECT_LT(series["capability_ci_low"].get<double>(), series["capability"].get<double>());
  EXPECT_GT(series["capability_ci_high"].get<double>(), series["capability"].get<double>());
  EXPECT_NEAR(series["spell_share"].get<double>(), 1.0 - series["score"].get<double>() / 202.0, 1e-4);

  const std::string markdown = markdown_text(view_of(inv));
  EXPECT_NE(markdown.find("| 170.7 | 201.0 \u00B11.00 %, spells 15.1 % |"), std::string::npos) << markdown;

  const std::string prometheus = prometheus_text(view_of(inv));
  EXPECT_NE(prometheus.find("\ntruvello_capability_ops_per_second{benchmark=\"single\",version=\"1.4.0\"} 201.998"),
            std::string::npos)
      << prometheus;
  EXPECT_EQ(prometheus.find("truvello_capability_ops_per_second{benchmark=\"all-cpus\""), std::string::npos);
}

}  // namespace
}  // namespace truvello::cli
