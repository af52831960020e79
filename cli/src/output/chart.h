#pragma once

// The geometry of a rate chart: scales, round ticks and the shapes drawn for
// each run's samples, in the pixel space of an SVG view box. No markup here;
// the HTML report turns these numbers into elements. Whatever the samples
// hold (nothing, one value, 1e12, a stray NaN from a hand-edited file), every
// coordinate that comes out is finite.

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "truvello.h"

namespace truvello::cli {

// Evenly spaced round values (1, 2 or 5 times a power of ten) along an axis.
struct Ticks {
  double lo = 0.0;  // the axis' domain; hi > lo always
  double hi = 1.0;
  double step = 1.0;
  std::vector<double> values;       // ascending, all within [lo, hi]
  std::vector<std::string> labels;  // one per value: "29.5 M", "10"
};

// Ticks for the data span [lo, hi], about `intervals` of them (at least 1).
// With `extend` the domain grows outward to the nearest ticks, as a value
// axis wants; without it the domain stays [lo, hi], as a time axis wants.
// A span of zero width is widened around its value; non-finite ends count as
// 0 and magnitudes are capped at 1e300, so the result is always usable.
Ticks round_ticks(double lo, double hi, int intervals, bool extend);

// The text of a tick: the SI prefix fits the largest tick, the decimals fit
// the step, so that neighbouring labels never read the same.
std::string tick_label(double value, double step, double largest_magnitude);

// A linear map from a domain to pixels. Values outside the domain land on
// its edges: a chart never draws outside its plot area.
struct Scale {
  double domain_lo = 0.0;
  double domain_hi = 1.0;
  double pixel_lo = 0.0;  // where domain_lo lands; may exceed pixel_hi (y axes)
  double pixel_hi = 1.0;

  double at(double value) const;
};

// Time-weighted mean and standard deviation of the per-second rate, as the
// library computes its variation: each sample weighs its length.
struct RateSpread {
  double mean = 0.0;
  std::optional<double> sd;  // needs two samples or more
};
std::optional<RateSpread> rate_spread(std::span<const truvello_sample_record> samples);

// One sample as drawn: a horizontal step from where its interval starts to
// where it ends, at its rate. The closing partial sample of a window keeps
// its true, short width.
struct Step {
  double x0 = 0.0;
  double x1 = 0.0;
  double y = 0.0;
};

// What is drawn for one run.
struct SeriesShape {
  std::vector<Step> steps;
  std::string path;                // SVG path data for the steps: "M64.0 120.5H73.3V118.0H..."
  std::optional<double> mean_y;    // the dashed mean line
  std::optional<double> band_top;  // the ±1 standard deviation band, when there is a deviation
  std::optional<double> band_bottom;
};

// A horizontal span of the plot, in pixels.
struct Span {
  double x0 = 0.0;
  double x1 = 0.0;
};

struct ChartLayout {
  double width = 520.0;  // the SVG view box
  double height = 290.0;
  double left = 62.0;  // the plot area inside it
  double top = 24.0;
  double right = 508.0;
  double bottom = 240.0;
};

struct ChartGeometry {
  ChartLayout layout;
  Ticks x_ticks;  // seconds from the start of the measurement window
  Ticks y_ticks;  // operations per second
  Scale x;
  Scale y;
  // The first and last thirds of the window that the drift figure compares;
  // absent when no run has enough samples for a drift figure.
  std::optional<Span> first_third;
  std::optional<Span> last_third;
  std::vector<SeriesShape> series;  // one per run, in the given order
};

// Lays out one chart for the runs given, which share its axes. Samples that
// are not finite or have no length are left out. The time axis covers the
// longest window; the rate axis covers every run's whole-second samples and
// mean ± 1 standard deviation (a closing sliver of a sample, whose rate is
// mostly rounding noise, may be clipped at the plot's edge instead of
// squashing the rest).
ChartGeometry chart_geometry(std::span<const std::span<const truvello_sample_record>> runs,
                             const ChartLayout& layout = {});

// The scores of a series of runs as points: one group of points per source
// (the runs of one file, say), side by side, on a shared score axis, each
// group with its series' score as a line and its interval as a band.
struct ScoreRun {
  std::size_t place = 1;  // 1-based place among the group's runs: sets x
  double score = 0.0;
  bool disturbed = false;
};

struct ScoreGroup {
  std::size_t places = 1;  // how many places the group spreads over, completed runs or not
  std::vector<ScoreRun> runs;
  std::optional<double> score;  // the series' score
  std::optional<double> low;    // its interval, when there is one
  std::optional<double> high;
};

struct ScorePoint {
  std::size_t place = 1;
  double x = 0.0;
  double y = 0.0;
  bool disturbed = false;
};

struct ScoreGroupShape {
  Span span;  // the group's share of the plot's width
  Scale x;    // place to pixels, inside the span
  std::vector<ScorePoint> points;
  std::optional<double> score_y;
  std::optional<double> band_top;  // the interval, when there is one
  std::optional<double> band_bottom;
};

struct ScoreChartGeometry {
  ChartLayout layout;
  Ticks y_ticks;
  Scale y;
  std::vector<ScoreGroupShape> groups;  // in the given order
};

// The score chart's view box: lower than a rate chart, with room below the
// plot for run numbers or file names.
inline constexpr ChartLayout kScoreChartLayout{520.0, 250.0, 62.0, 16.0, 508.0, 196.0};

// Lays out the groups. The score axis covers every score and every interval
// end; scores that are not finite are left out, and every coordinate that
// comes out is finite.
ScoreChartGeometry score_chart_geometry(std::span<const ScoreGroup> groups,
                                        const ChartLayout& layout = kScoreChartLayout);

// `text` cut to at most `max_chars` characters (UTF-8 code points), keeping
// its end, where a file's name is, behind an ellipsis.
std::string fit_label(std::string_view text, std::size_t max_chars);

// A coordinate as SVG text: one decimal, and 0 for anything not finite.
std::string coordinate(double value);

}  // namespace truvello::cli
