#include "statistics/comparison.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "output/comparison_report.h"
#include "test_samples.h"

namespace truvello::cli {
namespace {

using testing::completed_result;

const std::string kTheseRunsNote =
    "With one run on a side, a verdict is about these runs only: one run cannot show how far the next would differ. "
    "For a verdict on what they ran on, record at least 3 runs a side (--repeat 3 or --precision PCT).";

// A completed run of `seconds` one-second samples around `rate`, wobbling
// by a few per cent in a fixed pattern.
RunOutcome run_of(std::uint32_t benchmark, double rate, std::size_t seconds, std::uint32_t repeat = 1) {
  RunOutcome run;
  run.config = truvello_config{TRUVELLO_ABI_VERSION, 32, benchmark, 0, 2.0, static_cast<double>(seconds)};
  run.repeat = repeat;
  for (std::size_t i = 0; i < seconds; ++i) {
    const double wobble = 1.0 + 0.03 * std::sin(static_cast<double>(i * (repeat + 2)));
    const auto ops = static_cast<std::uint64_t>(rate * wobble);
    run.samples.push_back(truvello_sample_record{static_cast<double>(i + 1), 1.0, ops, static_cast<double>(ops)});
  }
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples, benchmark, benchmark == TRUVELLO_BENCHMARK_SINGLE ? 1 : 4);
  run.recorded_warnings.emplace();  // as read back, with nothing to say
  return run;
}

ComparedFile file_of(const std::string& name, std::vector<RunOutcome> runs) {
  ComparedFile f;
  f.name = name;
  f.saved.schema_version = 2;
  f.saved.command_name = "truvello";
  f.saved.invocation.command_version = "1.4.0";
  f.saved.invocation.library_version = "1.4.0";
  f.saved.invocation.machine.cpu_model = "Test CPU";
  f.saved.invocation.machine.online_cpus = 4;
  f.saved.invocation.runs = std::move(runs);
  return f;
}

ComparedFile both(const std::string& name, double scale) {
  return file_of(
      name, {run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5 * scale, 30), run_of(TRUVELLO_BENCHMARK_ALL_CPUS, 3e5 * scale, 30)});
}

Comparison compared(const ComparedFile& base, const std::vector<ComparedFile>& cands) {
  const ComparisonResult r = compare_exports(base, cands);
  EXPECT_TRUE(r.comparison) << r.error;
  return r.comparison.value_or(Comparison{});
}

TEST(Comparison, ACopyIsTheSameAndAScaledCopyIsSlower) {
  const Comparison c = compared(both("base.json", 1.0), {both("same.json", 1.0), both("slow.json", 0.9)});
  ASSERT_EQ(c.rows.size(), 4u);
  for (std::size_t i = 0; i < 2; ++i) {
    const ComparisonRow& same = c.rows[i];
    EXPECT_EQ(same.candidate, "same.json");
    EXPECT_EQ(same.ratio, 1.0);
    EXPECT_EQ(same.verdict, Verdict::kSame);
    ASSERT_TRUE(same.interval);
    EXPECT_LT(same.interval->low, 1.0);
    EXPECT_GT(same.interval->high, 1.0);
    EXPECT_EQ(same.method, Method::kBatchMeans);
    const ComparisonRow& slow = c.rows[i + 2];
    EXPECT_NEAR(slow.ratio, 0.9, 1e-4);
    EXPECT_EQ(slow.verdict, Verdict::kSlower);
    EXPECT_LT(slow.interval->high, 1.0);
    EXPECT_EQ(slow.baseline.runs, 1u);
  }
  EXPECT_EQ(c.rows[0].benchmark, TRUVELLO_BENCHMARK_SINGLE);
  EXPECT_EQ(c.rows[1].benchmark, TRUVELLO_BENCHMARK_ALL_CPUS);
  EXPECT_TRUE(gate_fails(c, 5.0));
  EXPECT_FALSE(gate_fails(c, 15.0)) << "slower, but by less than the gate allows";
  EXPECT_EQ(c.rows[0].scope, Scope::kTheseRuns);
  EXPECT_EQ(c.notes, std::vector<std::string>{kTheseRunsNote});
}

TEST(Comparison, MethodFollowsHowManyRunsEachSideHas) {
  const auto series = [](const std::string& name, double rate, int runs) {
    std::vector<RunOutcome> list;
    for (int i = 1; i <= runs; ++i) list.push_back(run_of(TRUVELLO_BENCHMARK_SINGLE, rate * (1 + 0.01 * i), 30, i));
    return file_of(name, list);
  };
  const ComparedFile three = series("a.json", 1e5, 3);
  Comparison c = compared(three, {series("b.json", 1e5, 3)});
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_EQ(c.rows[0].method, Method::kRunScores);
  EXPECT_EQ(c.rows[0].baseline.runs, 3u);
  double product = 1.0;
  for (const RunOutcome& run : three.saved.invocation.runs) product *= run.result->mean_rate;
  EXPECT_NEAR(c.rows[0].baseline.score, std::cbrt(product), 1e-6) << "the geometric mean";
  EXPECT_EQ(c.rows[0].scope, Scope::kSeries);
  EXPECT_TRUE(c.notes.empty()) << c.notes.front();
  c = compared(series("a.json", 1e5, 1), {series("b.json", 1e5, 3)});
  EXPECT_EQ(c.rows[0].method, Method::kMixed);
  EXPECT_EQ(c.rows[0].scope, Scope::kTheseRuns);
  EXPECT_EQ(c.notes, std::vector<std::string>{kTheseRunsNote});
}

// Five runs a side around `scale` times 100 k ops/s, 1 % apart, the third
// slowed by a quarter when `disturbed`.
ComparedFile five_runs(const std::string& name, double scale, bool disturbed) {
  std::vector<RunOutcome> runs;
  const double spread[] = {1.0, 1.01, 0.99, 1.005, 0.995};
  for (std::uint32_t i = 1; i <= 5; ++i) {
    const double slowed = disturbed && i == 3 ? 0.75 : 1.0;
    runs.push_back(run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5 * scale * spread[i - 1] * slowed, 30, i));
  }
  return file_of(name, runs);
}

TEST(Comparison, ADisturbedRunIsNamedAndLeftOutOfItsSide) {
  // The slowed run of c.json has its workers as the OS kernel saw them.
  ComparedFile c_json = five_runs("c.json", 0.9, true);
  WorkerObservation worker;
  worker.name = "truvello-0";
  worker.window_seconds = 10.0;
  worker.cpu_seconds = 7.1;
  worker.cpus = {1};
  c_json.saved.invocation.runs[2].observation = RunObservation{{worker}};
  const Comparison c = compared(five_runs("a.json", 1.0, false), {five_runs("b.json", 1.0, true), c_json});
  ASSERT_EQ(c.rows.size(), 2u);
  const ComparisonRow& same = c.rows[0];
  const ComparisonRow& slower = c.rows[1];
  EXPECT_EQ(same.scope, Scope::kSeries);
  EXPECT_TRUE(same.baseline.series->disturbed.empty());
  ASSERT_EQ(same.candidate_side.series->disturbed.size(), 1u);
  const DisturbedRun& off = same.candidate_side.series->disturbed[0];
  EXPECT_EQ(same.candidate_side.repeats.at(off.index), 3u);
  EXPECT_EQ(same.candidate_side.kept(), 4u);
  // The series' score rests on the four others: the slow run moves neither
  // the ratio nor the verdict, and a real slowdown is still found.
  EXPECT_NEAR(same.ratio, 1.0, 0.01);
  EXPECT_EQ(same.verdict, Verdict::kSame);
  EXPECT_NEAR(slower.ratio, 0.9, 0.01);
  EXPECT_EQ(slower.verdict, Verdict::kSlower);
  ASSERT_EQ(c.notes.size(), 2u);
  EXPECT_EQ(c.notes[0].rfind("b.json: the single worker run 3 stood 25.", 0), 0u) << c.notes[0];
  EXPECT_NE(c.notes[0].find(" % below the series' score (z "), std::string::npos) << c.notes[0];
  EXPECT_NE(c.notes[0].find(") and is left out of it."), std::string::npos) << c.notes[0];
  EXPECT_EQ(c.notes[1].rfind("c.json: the single worker run 3 stood 25.", 0), 0u) << c.notes[1];
  EXPECT_NE(c.notes[1].find("left out of it (truvello-0: 0.71 CPU"), std::string::npos) << c.notes[1];

  const nlohmann::json row = comparison_json(c, std::nullopt, std::nullopt)["comparisons"][0];
  EXPECT_EQ(row["scope"], "series");
  EXPECT_EQ(row["baseline_kept"], 5);
  EXPECT_EQ(row["candidate_kept"], 4);
  EXPECT_TRUE(row["baseline_disturbed"].empty());
  ASSERT_EQ(row["candidate_disturbed"].size(), 1u);
  EXPECT_EQ(row["candidate_disturbed"][0]["repeat"], 3);
  EXPECT_NEAR(row["candidate_disturbed"][0]["off_percent"].get<double>(), off.off_percent, 1e-12);
  EXPECT_NEAR(row["candidate_disturbed"][0]["z"].get<double>(), off.z, 1e-12);
  EXPECT_NE(comparison_table(c, false).find("(4 of 5 runs)"), std::string::npos);
  EXPECT_NE(comparison_markdown(c).find("- b.json: the single worker run 3 stood"), std::string::npos);
}

TEST(Comparison, SaysWhatMakesTheFilesLessComparable) {
  ComparedFile base = both("base.json", 1.0);
  base.saved.invocation.runs.push_back(run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5, 4, 2));
  base.saved.invocation.runs.back().status = TRUVELLO_STATUS_CANCELLED;
  base.saved.invocation.runs.back().result->status = TRUVELLO_STATUS_CANCELLED;
  base.saved.invocation.runs.back().reason = "cancelled";
  ComparedFile cand = file_of("cand.json", {run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5, 5)});
  cand.saved.invocation.library_version = "1.5.0";
  cand.saved.invocation.machine.cpu_model.clear();
  cand.saved.invocation.machine.online_cpus = 8;
  cand.saved.invocation.runs[0].result->unstable = 1;
  cand.saved.invocation.runs[0].result->cv_percent = 12.5;
  cand.saved.invocation.runs[0].recorded_warnings->push_back({"drift", "The rate fell."});

  const Comparison c = compared(base, {cand});
  ASSERT_EQ(c.rows.size(), 1u);
  EXPECT_FALSE(c.rows[0].interval) << "five seconds are too few for an interval";
  EXPECT_EQ(c.rows[0].verdict, Verdict::kSame);
  const std::vector<std::string> expected = {
      "The library versions differ (1.4.0 in base.json, 1.5.0 in cand.json): the workload may differ, so the scores "
      "may not be comparable.",
      "The CPU models differ (Test CPU in base.json, unknown in cand.json), as expected when comparing machines.",
      "The CPU counts differ (4 in base.json, 8 in cand.json): the all-CPU scores compare machines, not settings.",
      "base.json: the single worker run 2 did not complete (cancelled) and is left out.",
      "cand.json: the single worker run measured a window of 5 s, under the 10 s a comparable score needs.",
      "cand.json: the single worker run was flagged unstable (12.5 % variation).",
      "cand.json: the single worker run carries warnings (drift); `truvello report cand.json` tells them.",
      kTheseRunsNote,
      "The single worker run of cand.json has fewer than 6 whole seconds of samples: no interval, and no verdict but "
      "\"same\".",
      "The all CPUs benchmark has a completed run in base.json but none in cand.json, so it is not compared.",
  };
  EXPECT_EQ(c.notes, expected);
}

// One run of a series as a note sees it: its window, the library's flag,
// the warnings it recorded, or how it ended short.
struct RunTraits {
  std::size_t seconds = 30;
  double unstable_cv = 0.0;  // above 0: flagged unstable with this CV
  std::vector<std::string> codes;
  std::uint32_t status = TRUVELLO_STATUS_COMPLETED;
  std::string reason;

  // A copy with one thing changed, so that a table row reads as what it is.
  RunTraits window(std::size_t s) const {
    RunTraits r = *this;
    r.seconds = s;
    return r;
  }
  RunTraits unstable(double cv) const {
    RunTraits r = *this;
    r.unstable_cv = cv;
    return r;
  }
  RunTraits warned(std::vector<std::string> c) const {
    RunTraits r = *this;
    r.codes = std::move(c);
    return r;
  }
  RunTraits ended(std::uint32_t st, std::string why) const {
    RunTraits r = *this;
    r.status = st;
    r.reason = std::move(why);
    return r;
  }
};

ComparedFile series_file(const std::string& name, const std::vector<RunTraits>& wanted) {
  std::vector<RunOutcome> runs;
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    const RunTraits& traits = wanted[i];
    const auto repeat = static_cast<std::uint32_t>(i + 1);
    RunOutcome run =
        run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5 * (1.0 + 0.01 * static_cast<double>(i)), traits.seconds, repeat);
    if (traits.unstable_cv > 0.0) {
      run.result->unstable = 1;
      run.result->cv_percent = traits.unstable_cv;
    }
    for (const std::string& code : traits.codes) run.recorded_warnings->push_back({code, "Something " + code + "."});
    if (traits.status != TRUVELLO_STATUS_COMPLETED) {
      run.status = traits.status;
      run.result->status = traits.status;
      run.reason = traits.reason;
    }
    runs.push_back(std::move(run));
  }
  return file_of(name, runs);
}

// One note per fact and file, naming every run it concerns; a fact about
// one run of a series keeps the wording of one run.
TEST(Comparison, NotesSpeakForEveryRunOfAFactAtOnce) {
  const RunTraits clean;
  const RunTraits short_run = clean.window(5);
  const std::string short_tail = ", under the 10 s a comparable score needs.";
  const struct {
    const char* name;
    std::vector<RunTraits> base;
    std::vector<RunTraits> cand;
    std::vector<std::string> notes;
  } cases[] = {
      {"four short runs a side: one line a side",
       {short_run, short_run, short_run, short_run},
       {short_run, short_run, short_run, short_run},
       {"base.json: the single worker runs 1-4 measured windows of 5 s" + short_tail,
        "cand.json: the single worker runs 1-4 measured windows of 5 s" + short_tail}},
      {"some runs short, their windows apart",
       {clean.window(2), clean, clean.window(3), clean.window(3)},
       {clean, clean, clean},
       {"base.json: the single worker runs 1, 3 and 4 measured windows of 2 s to 3 s" + short_tail}},
      {"one run of a series: today's sentence",
       {clean, short_run, clean},
       {clean, clean, clean},
       {"base.json: the single worker run 2 measured a window of 5 s" + short_tail}},
      {"unstable runs with their CVs, one unstable run with its own",
       {clean.unstable(12.5), clean.unstable(20.0), clean},
       {clean, clean.unstable(11.0), clean},
       {"base.json: the single worker runs 1 and 2 were flagged unstable (12.5 % to 20.0 % variation).",
        "cand.json: the single worker run 2 was flagged unstable (11.0 % variation)."}},
      {"warnings shared by all and carried by some",
       {clean.warned({"busy"}), clean.warned({"drift", "busy"}), clean.warned({"busy"}),
        clean.warned({"busy", "drift"})},
       {clean.warned({"cpu_wait"}), clean.warned({"cpu_wait"}), clean},
       {"base.json: the single worker runs 1-4 carry warnings (busy; drift in runs 2 and 4); `truvello report "
        "base.json` tells them.",
        "cand.json: the single worker runs 1 and 2 carry warnings (cpu_wait); `truvello report cand.json` tells "
        "them."}},
      {"runs that did not complete, for different reasons",
       {clean, clean, clean, clean.ended(TRUVELLO_STATUS_CANCELLED, "cancelled"),
        clean.ended(TRUVELLO_STATUS_FAILED, "the workload failed")},
       {clean, clean, clean.ended(TRUVELLO_STATUS_CANCELLED, "cancelled")},
       {"base.json: the single worker runs 4 and 5 did not complete (cancelled; failed: the workload failed) and "
        "are left out.",
        "cand.json: the single worker run 3 did not complete (cancelled) and is left out."}},
      {"every fact at once, in the order of the runs' checks",
       {short_run.unstable(15.0).warned({"busy"}), short_run.warned({"busy"}), short_run.warned({"busy"})},
       {clean, clean, clean},
       {"base.json: the single worker runs 1-3 measured windows of 5 s" + short_tail,
        "base.json: the single worker run 1 was flagged unstable (15.0 % variation).",
        "base.json: the single worker runs 1-3 carry warnings (busy); `truvello report base.json` tells them."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Comparison compared_files = compared(series_file("base.json", c.base), {series_file("cand.json", c.cand)});
    EXPECT_EQ(compared_files.notes, c.notes);
  }
}

TEST(Comparison, FilesWithoutACommonBenchmarkCannotBeCompared) {
  const ComparedFile single = file_of("s.json", {run_of(TRUVELLO_BENCHMARK_SINGLE, 1e5, 30)});
  const ComparedFile all = file_of("a.json", {run_of(TRUVELLO_BENCHMARK_ALL_CPUS, 1e5, 30)});
  const ComparisonResult r = compare_exports(single, {single, all});
  EXPECT_FALSE(r.comparison);
  EXPECT_EQ(r.error, "s.json and a.json have no benchmark with a completed run in common");
}

TEST(ComparisonReport, TableJsonAndMarkdownAgree) {
  const Comparison c = compared(both("base.json", 1.0), {both("slow|er.json", 0.9)});
  const std::string plain = comparison_table(c, false);
  EXPECT_EQ(plain.find('\x1b'), std::string::npos) << plain;
  std::istringstream lines(plain);
  std::string line, header;
  std::vector<std::string> rows;
  while (std::getline(lines, line)) {
    if (line.rfind("benchmark", 0) == 0) header = line;
    if (line.rfind("single worker", 0) == 0 || line.rfind("all CPUs", 0) == 0) rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 2u) << plain;
  EXPECT_NE(rows[0].find("-10.0 %  0.900  0.8"), std::string::npos) << rows[0];
  EXPECT_NE(rows[0].find("slower"), std::string::npos);
  // Right-aligned figures: the ratio column ends at the same place in each row.
  EXPECT_EQ(rows[0].find("0.900"), rows[1].find("0.900")) << plain;
  EXPECT_EQ(header.find("ratio") + 5, rows[0].find("0.900") + 5) << plain;

  const std::string coloured = comparison_table(c, true);
  EXPECT_NE(coloured.find("\x1b[31mslower\x1b[0m"), std::string::npos) << coloured;

  const nlohmann::json doc = comparison_json(c, 5.0, true);
  ASSERT_EQ(doc["comparisons"].size(), 2u);
  const nlohmann::json& row = doc["comparisons"][1];
  EXPECT_EQ(row["benchmark"], "all-cpus");
  EXPECT_EQ(row["candidate"], "slow|er.json");
  EXPECT_EQ(row["verdict"], "slower");
  EXPECT_EQ(row["method"], "batch-means");
  EXPECT_EQ(row["scope"], "these runs");
  EXPECT_EQ(row["candidate_kept"], 1);
  EXPECT_TRUE(row["candidate_disturbed"].empty());
  EXPECT_NEAR(row["ratio"].get<double>(), 0.9, 1e-4);
  EXPECT_LT(row["ci_low"].get<double>(), row["ratio"].get<double>());
  EXPECT_LT(row["ci_high"].get<double>(), 1.0);
  EXPECT_NEAR(row["candidate_score"].get<double>() / row["baseline_score"].get<double>(), row["ratio"].get<double>(),
              1e-12);
  EXPECT_EQ(doc["gate"]["failed"], true);
  EXPECT_TRUE(comparison_json(c, std::nullopt, false)["gate"].is_null());
  EXPECT_TRUE(comparison_json(c, 5.0, std::nullopt)["gate"]["failed"].is_null()) << "the gate refused to judge";

  const std::string md = comparison_markdown(c);
  EXPECT_NE(md.find("| single worker | `slow\\|er.json` |"), std::string::npos) << md;
  EXPECT_NE(md.find("| **slower** |"), std::string::npos) << md;
}

}  // namespace
}  // namespace truvello::cli
