#include "output/chart.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "test_samples.h"

namespace truvello::cli {
namespace {

using testing::one_second_samples;

bool has_non_finite_text(const std::string& text) {
  return text.find("nan") != std::string::npos || text.find("inf") != std::string::npos ||
         text.find("NaN") != std::string::npos;
}

TEST(RoundTicks, LandOnRoundValuesAndCoverTheSpan) {
  const struct {
    double lo, hi;
    int intervals;
    bool extend;
    double step, first, last;
    const char* first_label;
    const char* last_label;
  } cases[] = {
      // A default window: every ten seconds.
      {0.0, 60.0, 6, false, 10.0, 0.0, 60.0, "0", "60"},
      // A short window that ran a little over: ticks stay inside it.
      {0.0, 5.002, 6, false, 1.0, 0.0, 5.0, "0", "5"},
      // A value axis grows outward to round ticks, labelled with one prefix.
      {29.3e6, 30.9e6, 5, true, 0.5e6, 29.0e6, 31.0e6, "29.0 M", "31.0 M"},
      {0.0, 47.0, 5, true, 10.0, 0.0, 50.0, "0", "50"},
      // Rates of 1e12 whose spread is a thousandth of the value.
      {0.999e12, 1.001e12, 5, true, 0.0005e12, 0.999e12, 1.001e12, "0.9990 T", "1.0010 T"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
    const Ticks t = round_ticks(c.lo, c.hi, c.intervals, c.extend);
    EXPECT_DOUBLE_EQ(t.step, c.step);
    ASSERT_FALSE(t.values.empty());
    EXPECT_NEAR(t.values.front(), c.first, c.step * 1e-9);
    EXPECT_NEAR(t.values.back(), c.last, c.step * 1e-9);
    EXPECT_EQ(t.labels.front(), c.first_label);
    EXPECT_EQ(t.labels.back(), c.last_label);
    EXPECT_LE(t.lo, c.lo);
    EXPECT_GE(t.hi, c.extend ? c.hi : c.last);
    ASSERT_EQ(t.labels.size(), t.values.size());
    for (std::size_t i = 1; i < t.labels.size(); ++i) EXPECT_NE(t.labels[i], t.labels[i - 1]) << "labels must differ";
  }
}

TEST(RoundTicks, DegenerateAndNonFiniteSpansStillGiveAnAxis) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double lo, hi;
  } cases[] = {{100.0, 100.0}, {0.0, 0.0}, {1e12, 1e12}, {nan, nan}, {-inf, inf}, {1e308, -1e308}, {5.0, 1.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.lo) + " .. " + std::to_string(c.hi));
    for (bool extend : {false, true}) {
      const Ticks t = round_ticks(c.lo, c.hi, 5, extend);
      EXPECT_TRUE(std::isfinite(t.lo) && std::isfinite(t.hi) && std::isfinite(t.step));
      EXPECT_LT(t.lo, t.hi);
      EXPECT_GT(t.step, 0.0);
      EXPECT_GE(t.values.size(), 1u);
      EXPECT_LE(t.values.size(), 100u);
      for (double v : t.values) EXPECT_TRUE(v >= t.lo && v <= t.hi) << v;
      for (const std::string& label : t.labels) EXPECT_FALSE(has_non_finite_text(label)) << label;
    }
  }
}

TEST(Scale, MapsLinearlyAndKeepsValuesInsideThePlot) {
  const Scale y{0.0, 100.0, 240.0, 20.0};  // upward, as a rate axis
  EXPECT_DOUBLE_EQ(y.at(0.0), 240.0);
  EXPECT_DOUBLE_EQ(y.at(100.0), 20.0);
  EXPECT_DOUBLE_EQ(y.at(25.0), 185.0);
  EXPECT_DOUBLE_EQ(y.at(1e9), 20.0) << "clipped at the top";
  EXPECT_DOUBLE_EQ(y.at(-5.0), 240.0) << "clipped at the bottom";
  EXPECT_DOUBLE_EQ(y.at(std::numeric_limits<double>::quiet_NaN()), 130.0);
  const Scale empty{3.0, 3.0, 0.0, 10.0};
  EXPECT_DOUBLE_EQ(empty.at(3.0), 5.0);
}

// Every coordinate a chart puts out is finite and inside the view box.
void expect_drawable(const ChartGeometry& g) {
  const ChartLayout& l = g.layout;
  const auto inside_x = [&](double x) { return std::isfinite(x) && x >= l.left - 1e-9 && x <= l.right + 1e-9; };
  const auto inside_y = [&](double y) { return std::isfinite(y) && y >= l.top - 1e-9 && y <= l.bottom + 1e-9; };
  EXPECT_LT(g.x_ticks.lo, g.x_ticks.hi);
  EXPECT_LT(g.y_ticks.lo, g.y_ticks.hi);
  for (double v : g.y_ticks.values) EXPECT_TRUE(inside_y(g.y.at(v)));
  for (double v : g.x_ticks.values) EXPECT_TRUE(inside_x(g.x.at(v)));
  for (const auto& labels : {g.x_ticks.labels, g.y_ticks.labels}) {
    for (const std::string& label : labels) EXPECT_FALSE(has_non_finite_text(label)) << label;
  }
  for (const SeriesShape& s : g.series) {
    EXPECT_FALSE(has_non_finite_text(s.path)) << s.path;
    for (const Step& step : s.steps) {
      EXPECT_TRUE(inside_x(step.x0) && inside_x(step.x1) && inside_y(step.y));
      EXPECT_LE(step.x0, step.x1);
    }
    if (s.mean_y) {
      EXPECT_TRUE(inside_y(*s.mean_y));
    }
    if (s.band_top) {
      EXPECT_TRUE(inside_y(*s.band_top) && inside_y(*s.band_bottom) && *s.band_top <= *s.band_bottom);
    }
  }
}

TEST(ChartGeometry, AwkwardRunsStillDrawFiniteShapes) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<truvello_sample_record> cancelled = one_second_samples({100, 110, 105});
  cancelled.push_back({3.4, 0.4, 42, 105.0});  // the window closed early: a partial last sample
  std::vector<truvello_sample_record> huge = one_second_samples({1e12, 1.0004e12, 0.9998e12});
  std::vector<truvello_sample_record> broken = one_second_samples({100, 100});
  broken.push_back({3.0, 1.0, 0, nan});
  broken.push_back({4.0, 0.0, 0, 5.0});
  broken.push_back({inf, 1.0, 0, 5.0});
  const struct {
    const char* name;
    std::vector<truvello_sample_record> samples;
    std::size_t steps;
    bool mean;
    bool band;
    bool thirds;
  } cases[] = {
      {"no sample", {}, 0, false, false, false},
      {"one sample", one_second_samples({100}), 1, true, false, false},
      {"all equal", one_second_samples({100, 100, 100, 100, 100}), 5, true, false, true},
      {"rate of 1e12", huge, 3, true, true, true},
      {"cancelled with a partial window", cancelled, 4, true, true, true},
      {"samples that are not finite or have no length", broken, 2, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::span<const truvello_sample_record> run(c.samples);
    const ChartGeometry g = chart_geometry(std::span(&run, 1));
    expect_drawable(g);
    ASSERT_EQ(g.series.size(), 1u);
    const SeriesShape& s = g.series[0];
    EXPECT_EQ(s.steps.size(), c.steps);
    EXPECT_EQ(s.mean_y.has_value(), c.mean);
    EXPECT_EQ(s.band_top.has_value(), c.band);
    EXPECT_EQ(g.first_third.has_value(), c.thirds);
    if (!s.steps.empty()) {
      EXPECT_DOUBLE_EQ(s.steps.front().x0, g.layout.left) << "the window starts at the axis";
      EXPECT_DOUBLE_EQ(s.steps.back().x1, g.layout.right) << "and the longest one fills it";
    }
  }
}

TEST(ChartGeometry, StepsTileTheWindowAndThePartialSampleKeepsItsWidth) {
  std::vector<truvello_sample_record> samples = one_second_samples({100, 200, 150});
  samples.push_back({3.25, 0.25, 40, 160.0});
  const std::span<const truvello_sample_record> run(samples);
  const ChartGeometry g = chart_geometry(std::span(&run, 1));
  const SeriesShape& s = g.series[0];
  ASSERT_EQ(s.steps.size(), 4u);
  const double second = s.steps[0].x1 - s.steps[0].x0;
  for (std::size_t i = 1; i < s.steps.size(); ++i) EXPECT_DOUBLE_EQ(s.steps[i].x0, s.steps[i - 1].x1);
  EXPECT_NEAR((s.steps[3].x1 - s.steps[3].x0) / second, 0.25, 1e-9);
  EXPECT_LT(s.steps[1].y, s.steps[0].y) << "a higher rate is drawn higher";
  // One piece: a move, then a run and a rise per sample.
  EXPECT_EQ(std::count(s.path.begin(), s.path.end(), 'M'), 1);
  EXPECT_EQ(std::count(s.path.begin(), s.path.end(), 'H'), 4);
  EXPECT_EQ(std::count(s.path.begin(), s.path.end(), 'V'), 3);
  const std::string left = coordinate(g.layout.left);
  EXPECT_EQ(s.path[0], 'M');
  EXPECT_EQ(s.path.substr(1, left.size()), left);

  // Mean and band as the library weighs them: by each sample's length.
  const auto spread = rate_spread(samples);
  ASSERT_TRUE(spread && spread->sd);
  EXPECT_NEAR(spread->mean, (100.0 + 200.0 + 150.0 + 40.0) / 3.25, 1e-9);
  EXPECT_NEAR(*s.mean_y, g.y.at(spread->mean), 1e-9);
  EXPECT_NEAR(*s.band_top, g.y.at(spread->mean + *spread->sd), 1e-9);

  // The thirds the drift figure compares.
  ASSERT_TRUE(g.first_third && g.last_third);
  EXPECT_DOUBLE_EQ(g.first_third->x0, g.layout.left);
  EXPECT_NEAR(g.first_third->x1, g.x.at(3.25 / 3.0), 1e-9);
  EXPECT_NEAR(g.last_third->x0, g.x.at(3.25 * 2.0 / 3.0), 1e-9);
  EXPECT_DOUBLE_EQ(g.last_third->x1, g.layout.right);
}

TEST(ChartGeometry, RunsShareTheAxesAndAGapStartsANewPiece) {
  const std::vector<truvello_sample_record> longer = one_second_samples({100, 100, 100, 100});
  std::vector<truvello_sample_record> gapped = one_second_samples({300, 300});
  gapped.push_back({4.0, 1.0, 300, 300.0});  // begins at 3, not at 2
  const std::span<const truvello_sample_record> runs[] = {longer, gapped};
  const ChartGeometry g = chart_geometry(runs);
  expect_drawable(g);
  ASSERT_EQ(g.series.size(), 2u);
  EXPECT_DOUBLE_EQ(g.series[0].steps.back().x1, g.series[1].steps.back().x1) << "one time axis";
  EXPECT_LE(g.y_ticks.lo, 100.0);
  EXPECT_GE(g.y_ticks.hi, 300.0) << "one rate axis covering both";
  EXPECT_EQ(std::count(g.series[1].path.begin(), g.series[1].path.end(), 'M'), 2);
}

TEST(ScoreChartGeometry, GroupsSideBySideOnOneScoreAxis) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const ScoreGroup groups[] = {
      {5, {{1, 100.0}, {2, 102.0}, {3, 76.0, true}, {4, 101.0}, {5, 99.0}}, 100.5, 98.0, 103.0},
      {3, {{1, 90.0}, {3, nan}}, 90.0, std::nullopt, std::nullopt},  // run 2 did not complete
      {1, {}, std::nullopt, std::nullopt, std::nullopt},
  };
  const ScoreChartGeometry g = score_chart_geometry(groups);
  ASSERT_EQ(g.groups.size(), 3u);
  EXPECT_LE(g.y_ticks.lo, 76.0);
  EXPECT_GE(g.y_ticks.hi, 103.0) << "every score and interval end on the axis";
  double previous_right = g.layout.left;
  for (const ScoreGroupShape& group : g.groups) {
    EXPECT_DOUBLE_EQ(group.span.x0, previous_right) << "the groups tile the width in order";
    previous_right = group.span.x1;
    for (const ScorePoint& p : group.points) {
      EXPECT_GT(p.x, group.span.x0);
      EXPECT_LT(p.x, group.span.x1);
      EXPECT_TRUE(std::isfinite(p.y));
    }
  }
  EXPECT_DOUBLE_EQ(previous_right, g.layout.right);
  const ScoreGroupShape& series = g.groups[0];
  ASSERT_EQ(series.points.size(), 5u);
  EXPECT_TRUE(series.points[2].disturbed);
  EXPECT_GT(series.points[2].y, *series.band_bottom) << "the slow run below the band (y grows downward)";
  EXPECT_LT(*series.band_top, *series.score_y);
  EXPECT_GT(*series.band_bottom, *series.score_y);
  EXPECT_LT(series.points[0].x, series.points[1].x) << "runs in order";
  EXPECT_EQ(g.groups[1].points.size(), 1u) << "a score that is not a number is left out";
  EXPECT_FALSE(g.groups[1].band_top);
  EXPECT_GT(g.groups[1].x.at(3.0) - g.groups[1].x.at(1.0), 0.0) << "the missing run keeps its place";
  EXPECT_TRUE(g.groups[2].points.empty());
  EXPECT_FALSE(g.groups[2].score_y);
}

TEST(FitLabel, KeepsTheEndOfALongNameWholeCharactersOnly) {
  EXPECT_EQ(fit_label("base.json", 9), "base.json");
  EXPECT_EQ(fit_label("runs/base.json", 10), "\u2026base.json");
  EXPECT_EQ(fit_label("\u00E9t\u00E9.json", 7), "\u2026\u00E9.json") << "never half a character";
  EXPECT_EQ(fit_label("abc", 1), "\u2026");
}

TEST(Coordinate, OneDecimalAndNeverNonFinite) {
  EXPECT_EQ(coordinate(12.345), "12.3");
  EXPECT_EQ(coordinate(-0.01), "0.0");
  EXPECT_EQ(coordinate(std::numeric_limits<double>::quiet_NaN()), "0.0");
  EXPECT_FALSE(has_non_finite_text(coordinate(std::numeric_limits<double>::infinity())));
}

}  // namespace
}  // namespace truvello::cli
