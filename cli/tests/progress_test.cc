#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "progress/progress_line.h"
#include "progress/progress_state.h"
#include "text/terminal_text.h"

namespace truvello::cli {
namespace {

truvello_progress_record record(uint32_t phase, double fraction, double elapsed, uint64_t ops, uint32_t workers = 1) {
  return truvello_progress_record{phase, workers, fraction, elapsed, 10.0, ops};
}

TEST(RateTracker, RateOverTheLastSecondOfThePhase) {
  RateTracker tracker;
  EXPECT_FALSE(tracker.add(TRUVELLO_PHASE_WARMUP, 0.0, 0).has_value());
  // 1000 ops/s for a second, then 2000 ops/s: after another full second the
  // rate must show only the new speed.
  double t = 0.0;
  uint64_t ops = 0;
  for (int i = 0; i < 10; ++i) tracker.add(TRUVELLO_PHASE_WARMUP, t += 0.1, ops += 100);
  std::optional<double> rate;
  for (int i = 0; i < 10; ++i) rate = tracker.add(TRUVELLO_PHASE_WARMUP, t += 0.1, ops += 200);
  ASSERT_TRUE(rate.has_value());
  EXPECT_NEAR(*rate, 2000.0, 1e-6);
}

TEST(RateTracker, RestartsWithEachPhaseAndNeverWraps) {
  RateTracker tracker;
  tracker.add(TRUVELLO_PHASE_WARMUP, 0.0, 0);
  tracker.add(TRUVELLO_PHASE_WARMUP, 1.0, 5000);
  // The measurement count starts again from 0; a naive difference would wrap.
  EXPECT_FALSE(tracker.add(TRUVELLO_PHASE_MEASUREMENT, 0.0, 0).has_value());
  const auto rate = tracker.add(TRUVELLO_PHASE_MEASUREMENT, 0.5, 300);
  ASSERT_TRUE(rate.has_value());
  EXPECT_DOUBLE_EQ(*rate, 600.0);
}

TEST(ProgressState, FractionAndRemainingSpanAllRuns) {
  ProgressState state({10.0, 30.0});
  const BenchmarkKind single{TRUVELLO_BENCHMARK_SINGLE};
  const BenchmarkKind all{TRUVELLO_BENCHMARK_ALL_CPUS};

  auto view = state.update(0, single, record(TRUVELLO_PHASE_WARMUP, 0.5, 1.0, 10), 5.0);
  EXPECT_DOUBLE_EQ(view.overall_fraction, 5.0 / 40.0);
  EXPECT_DOUBLE_EQ(view.remaining_seconds, 35.0);
  EXPECT_EQ(view.run_count, 2u);

  view = state.update(1, all, record(TRUVELLO_PHASE_MEASUREMENT, 0.5, 1.0, 10, 4), 26.0);
  EXPECT_DOUBLE_EQ(view.overall_fraction, 25.0 / 40.0);
  EXPECT_DOUBLE_EQ(view.remaining_seconds, 15.0);
  EXPECT_EQ(view.workers, 4u);
  EXPECT_EQ(view.kind.selector, TRUVELLO_BENCHMARK_ALL_CPUS);

  view = state.update(1, all, record(TRUVELLO_PHASE_DONE, 1.0, 15.0, 10, 4), 41.0);
  EXPECT_DOUBLE_EQ(view.overall_fraction, 1.0);
  EXPECT_DOUBLE_EQ(view.remaining_seconds, 0.0);
}

ProgressView sample_view() {
  ProgressView view;
  view.run_index = 0;
  view.run_count = 2;
  view.phase = TRUVELLO_PHASE_MEASUREMENT;
  view.workers = 1;
  view.overall_fraction = 0.42;
  view.elapsed_seconds = 5.0;
  view.remaining_seconds = 7.0;
  view.rate = 1234567.0;
  return view;
}

bool has_control_characters(const std::string& line) {
  return std::any_of(line.begin(), line.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

TEST(ProgressLine, WideTerminalShowsEverything) {
  const std::string line = progress_line(sample_view(), 120, Glyphs::kBlocks);
  for (const char* part :
       {"[1/2 single worker]", "measuring", "42 %", "0:05 elapsed", "0:07 left", "1.235 M ops/s", "1 worker"}) {
    EXPECT_NE(line.find(part), std::string::npos) << part << " missing from: " << line;
  }
  EXPECT_LE(display_width(line), 120u);
  EXPECT_FALSE(has_control_characters(line));
}

TEST(ProgressLine, NarrowTerminalsNeverOverflow) {
  for (std::size_t width : {100u, 80u, 60u, 40u, 20u, 5u}) {
    const std::string line = progress_line(sample_view(), width, Glyphs::kBlocks);
    EXPECT_LE(display_width(line), width) << line;
  }
  // At 60 columns the phase and percentage stay, the least useful parts go.
  const std::string mid = progress_line(sample_view(), 60, Glyphs::kAscii);
  EXPECT_NE(mid.find("42 %"), std::string::npos) << mid;
  EXPECT_EQ(mid.find("1 worker"), std::string::npos) << mid;
}

TEST(ProgressLine, MissingRateIsShownAsUnknown) {
  ProgressView view = sample_view();
  view.rate.reset();
  EXPECT_NE(progress_line(view, 120, Glyphs::kAscii).find("-- ops/s"), std::string::npos);
}

TEST(ProgressLine, BarFillsInEighths) {
  EXPECT_EQ(progress_bar(0.0, 4, Glyphs::kAscii), "----");
  EXPECT_EQ(progress_bar(0.5, 4, Glyphs::kAscii), "##--");
  EXPECT_EQ(progress_bar(1.0, 4, Glyphs::kAscii), "####");
  EXPECT_EQ(progress_bar(2.0, 4, Glyphs::kAscii), "####");
  // 1/16 of 2 cells is one eighth of the first cell.
  EXPECT_EQ(progress_bar(1.0 / 16.0, 2, Glyphs::kBlocks), "\u258F\u2591");
  EXPECT_EQ(progress_bar(1.0, 2, Glyphs::kBlocks), "\u2588\u2588");
  for (double f : {0.0, 0.13, 0.5, 0.99, 1.0}) {
    EXPECT_EQ(display_width(progress_bar(f, 10, Glyphs::kBlocks)), 10u) << f;
  }
}

TEST(ProgressLine, PlainPhaseLines) {
  ProgressView view = sample_view();
  truvello_progress_record r = record(TRUVELLO_PHASE_MEASUREMENT, 0.5, 0.0, 0);
  r.phase_seconds = 5.0;
  EXPECT_EQ(phase_line(view, r), "truvello: [1/2 single worker] measuring for 5 s with 1 worker");
  view.phase = TRUVELLO_PHASE_WARMUP;
  view.workers = 4;
  view.kind.selector = TRUVELLO_BENCHMARK_ALL_CPUS;
  r.phase_seconds = 2.0;
  EXPECT_EQ(phase_line(view, r), "truvello: [1/2 all CPUs] warming up for 2 s with 4 workers");
  view.phase = TRUVELLO_PHASE_CANCELLED;
  EXPECT_EQ(phase_line(view, r), "truvello: [1/2 all CPUs] cancelled");
}

TEST(ProgressLine, FinalLineReportsTheRateFromTheTotals) {
  ProgressView view = sample_view();
  view.phase = TRUVELLO_PHASE_DONE;
  // The final record: ops is the run's total, elapsed its measured seconds.
  const truvello_progress_record r{TRUVELLO_PHASE_DONE, 1, 1.0, 4.0, 4.0, 4000000};
  EXPECT_EQ(phase_line(view, r), "truvello: [1/2 single worker] done: 1.000 M ops/s over 4.000 s");
}

}  // namespace
}  // namespace truvello::cli
