#include "output/score_figure.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "output/chart.h"
#include "output/chart_palette.h"
#include "output/score_marks.h"
#include "output/svg_axis.h"
#include "statistics/series_estimate.h"
#include "text/html_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

// One source's completed runs of one benchmark as the chart shows them, with
// the series' score over them.
struct SourceSeries {
  std::string name;  // the source's name; empty for a report of one invocation
  ScoreGroup group;
  std::optional<SeriesEstimate> estimate;
};

std::vector<SourceSeries> series_of(std::span<const ReportSource> sources, std::uint32_t benchmark) {
  std::vector<SourceSeries> out;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const InvocationView& view = *sources[i].view;
    SourceSeries series{source_name(sources, i), {}, std::nullopt};
    std::vector<double> scores;
    std::size_t place = 0;
    for (const RunOutcome& run : view.source().runs) {
      if (run.config.benchmark != benchmark) continue;
      ++place;
      if (!run.completed()) continue;
      series.group.runs.push_back(ScoreRun{place, run.result->mean_rate, false});
      scores.push_back(run.result->mean_rate);
    }
    series.group.places = std::max<std::size_t>(place, 1);
    // A benchmark that ran once has no series in the view, yet a comparison
    // still shows that one run against the other files' runs: its score is
    // then the estimate of a series of one.
    const SeriesView* in_view = view.series_of(benchmark);
    series.estimate = in_view != nullptr ? in_view->estimate : estimate_series(scores);
    if (series.estimate) {
      series.group.score = series.estimate->score;
      series.group.low = series.estimate->low;
      series.group.high = series.estimate->high;
      // The estimate counts the completed runs in run order, as the group does.
      for (const DisturbedRun& d : series.estimate->disturbed) series.group.runs[d.index].disturbed = true;
    }
    out.push_back(std::move(series));
  }
  return out;
}

// Per source, in words: its runs, its series' score and interval, and each
// disturbed run with how far it stood off. The chart's description and the
// text under it.
std::string series_description(const std::vector<SourceSeries>& series) {
  std::string out;
  for (const SourceSeries& s : series) {
    if (!out.empty()) out += " ";
    if (!s.name.empty()) out += s.name + ": ";
    const std::size_t completed = s.group.runs.size();
    out += std::to_string(completed) + (completed == 1 ? " completed run" : " completed runs");
    if (s.group.places != completed) out += " of " + std::to_string(s.group.places);
    if (!s.estimate) {
      out += ".";
      continue;
    }
    const SeriesEstimate& e = *s.estimate;
    out += ", series' score " + rate_text(e.score);
    if (e.low && e.high) {
      out += ", 95 % interval " + rate_text(*e.low) + " to " + rate_text(*e.high);
      if (const auto half = e.half_width_percent()) out += " (\u00B1" + percent_text(*half) + ")";
    }
    if (e.kept != e.runs) out += ", resting on " + std::to_string(e.kept) + " of them";
    out += ".";
    for (const DisturbedRun& d : e.disturbed) {
      out += " Run " + std::to_string(s.group.runs[d.index].place) + " was disturbed: " + off_text(d.off_percent) +
             " the series' score.";
    }
  }
  return out;
}

std::string score_chart_svg(std::uint32_t benchmark, const std::vector<SourceSeries>& series) {
  std::vector<ScoreGroup> groups;
  for (const SourceSeries& s : series) groups.push_back(s.group);
  const ScoreChartGeometry g = score_chart_geometry(groups);
  const ChartLayout& l = g.layout;
  const bool several = series.size() > 1;
  const std::string id = "series-" + std::to_string(benchmark);
  const std::string title = "Benchmark " + std::to_string(benchmark) + ", " + BenchmarkKind{benchmark}.title() +
                            ": the score of each run" + (several ? ", per file" : "");

  std::string out = "<svg class=\"chart series\" viewBox=\"0 0 " + coordinate(l.width) + " " + coordinate(l.height) +
                    "\" role=\"img\" aria-labelledby=\"" + id + "-title " + id + "-desc\">\n<title id=\"" + id +
                    "-title\">" + html_escape(title) + "</title>\n<desc id=\"" + id + "-desc\">" +
                    html_escape(series_description(series)) + "</desc>\n";
  out += value_axis_svg(g.y_ticks, g.y, l);
  out += foot_line_svg(l);

  // Files side by side, each under its name; one series along its run numbers.
  const double middle = (l.left + l.right) / 2.0;
  for (std::size_t i = 0; i < g.groups.size(); ++i) {
    const ScoreGroupShape& shape = g.groups[i];
    if (several) {
      if (i > 0) {
        out += "<line class=\"group\" x1=\"" + coordinate(shape.span.x0) + "\" x2=\"" + coordinate(shape.span.x0) +
               "\" y1=\"" + coordinate(l.top) + "\" y2=\"" + coordinate(l.bottom) + "\"/>";
      }
      // About 7.5 units a character at the axis' font size.
      const auto fits = static_cast<std::size_t>(std::max(4.0, (shape.span.x1 - shape.span.x0) / 7.5));
      out += "<text x=\"" + coordinate((shape.span.x0 + shape.span.x1) / 2.0) + "\" y=\"" +
             coordinate(l.bottom + 19.0) + "\" text-anchor=\"middle\">" + html_escape(fit_label(series[i].name, fits)) +
             "</text>\n";
    } else if (series[i].group.places > 1) {
      const double places = static_cast<double>(series[i].group.places);
      out += foot_ticks_svg(round_ticks(1.0, places, static_cast<int>(std::min(places - 1.0, 8.0)), false), shape.x, l);
    }
    out += "<g class=\"" + series_class(i) + "\">" + score_marks_svg(shape);
    if (shape.points.empty()) {
      out += "<text class=\"empty\" x=\"" + coordinate((shape.span.x0 + shape.span.x1) / 2.0) + "\" y=\"" +
             coordinate((l.top + l.bottom) / 2.0) + "\" text-anchor=\"middle\">no completed run</text>";
    }
    out += "</g>\n";
  }
  // The labels last, over every mark, each on the side facing the middle.
  for (std::size_t i = 0; i < g.groups.size(); ++i) {
    if (!series[i].estimate) continue;
    for (const DisturbedRun& d : series[i].estimate->disturbed) {
      const ScoreRun& run = series[i].group.runs[d.index];
      const auto point = std::find_if(g.groups[i].points.begin(), g.groups[i].points.end(),
                                      [&](const ScorePoint& p) { return p.place == run.place; });
      if (point == g.groups[i].points.end()) continue;
      const bool left = point->x > middle;
      const double y = std::clamp(point->y + 4.0, l.top + 10.0, l.bottom - 4.0);
      out += "<text class=\"disturbed-label\" x=\"" + coordinate(point->x + (left ? -9.0 : 9.0)) + "\" y=\"" +
             coordinate(y) + "\" text-anchor=\"" + (left ? "end" : "start") + "\">run " + std::to_string(run.place) +
             ": " + html_escape(off_text(d.off_percent)) + "</text>\n";
    }
  }
  out += axis_names_svg(l, several ? "the runs of each file, in order" : "run", "score (ops/s)");
  return out + "</svg>\n";
}

bool shows_scores(const std::vector<SourceSeries>& series, bool comparing) {
  std::size_t points = 0;
  for (const SourceSeries& s : series) points += s.group.runs.size();
  return comparing ? points > 0 : points >= 2;
}

}  // namespace

std::string score_figure(std::span<const ReportSource> sources, std::uint32_t benchmark, bool comparing) {
  const std::vector<SourceSeries> series = series_of(sources, benchmark);
  if (!shows_scores(series, comparing)) return "";
  std::string out = "<figure class=\"series\">\n" + score_chart_svg(benchmark, series);
  out +=
      "<figcaption><ul class=\"legend\">\n"
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><circle class=\"point\" cx=\"18\" "
      "cy=\"6\" r=\"4\"/></svg>a run's score</li>\n"
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><path class=\"point disturbed\" "
      "d=\"M18 1l5 5-5 5-5-5z\"/></svg>disturbed run, left out of the series' score</li>\n"
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><line class=\"score\" x1=\"1\" y1=\"6\" "
      "x2=\"35\" y2=\"6\"/></svg>series' score</li>\n"
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><rect class=\"band\" x=\"1\" y=\"1\" "
      "width=\"34\" height=\"10\"/></svg>its 95 % interval</li>\n</ul>\n";
  out += "<p>" + html_escape(series_description(series)) + "</p></figcaption>\n</figure>\n";
  return out;
}

}  // namespace truvello::cli
