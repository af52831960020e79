#include "output/rate_figure.h"

#include <utility>
#include <vector>

#include "output/chart.h"
#include "output/chart_palette.h"
#include "output/svg_axis.h"
#include "text/html_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

// The chart in words: each run's samples, mean, spread, range and drift.
std::string chart_description(std::span<const RunLine> lines, const ChartGeometry& g) {
  std::string out;
  for (const RunLine& line : lines) {
    const auto& samples = line.outcome().samples;
    out += line.label + ": ";
    const auto spread = rate_spread(samples);
    if (!spread) {
      out += "no samples were recorded. ";
      continue;
    }
    out += std::to_string(samples.size()) + (samples.size() == 1 ? " sample" : " samples") + " over " +
           seconds_text(samples.back().t) + ", mean " + rate_text(spread->mean);
    if (spread->sd) out += ", standard deviation " + rate_text(*spread->sd);
    if (const auto& stats = line.run->stats) {
      out += ", lowest " + rate_text(stats->min) + ", highest " + rate_text(stats->max);
      if (stats->drift_percent) out += ", drift " + signed_percent(*stats->drift_percent);
    }
    out += ". ";
  }
  if (g.first_third) out += "The first and last thirds of the window, which the drift figure compares, are shaded.";
  return out;
}

std::string chart_svg(std::uint32_t benchmark, std::span<const RunLine> lines) {
  std::vector<std::span<const truvello_sample_record>> runs;
  for (const RunLine& line : lines) runs.emplace_back(line.outcome().samples);
  const ChartGeometry g = chart_geometry(runs);
  const ChartLayout& l = g.layout;
  const std::string id = "chart-" + std::to_string(benchmark);
  const std::string title = "Benchmark " + std::to_string(benchmark) + ", " + BenchmarkKind{benchmark}.title() +
                            ": operations per second over the measurement window";

  std::string out = "<svg class=\"chart\" viewBox=\"0 0 " + coordinate(l.width) + " " + coordinate(l.height) +
                    "\" role=\"img\" aria-labelledby=\"" + id + "-title " + id + "-desc\">\n<title id=\"" + id +
                    "-title\">" + html_escape(title) + "</title>\n<desc id=\"" + id + "-desc\">" +
                    html_escape(chart_description(lines, g)) + "</desc>\n";
  const std::string plot_height = coordinate(l.bottom - l.top);
  for (const auto& [third, name] : {std::pair{g.first_third, "first third"}, std::pair{g.last_third, "last third"}}) {
    if (!third) continue;
    out += "<rect class=\"third\" x=\"" + coordinate(third->x0) + "\" y=\"" + coordinate(l.top) + "\" width=\"" +
           coordinate(third->x1 - third->x0) + "\" height=\"" + plot_height + "\"/>";
    out += "<text class=\"third-label\" x=\"" + coordinate((third->x0 + third->x1) / 2.0) + "\" y=\"" +
           coordinate(l.top - 6.0) + "\" text-anchor=\"middle\">" + name + "</text>\n";
  }
  out += value_axis_svg(g.y_ticks, g.y, l);
  out += foot_ticks_svg(g.x_ticks, g.x, l);
  out += foot_line_svg(l);
  bool drawn = false;
  for (std::size_t i = 0; i < g.series.size(); ++i) {
    const SeriesShape& s = g.series[i];
    out += "<g class=\"" + series_class(lines[i].index) + "\">";
    if (s.band_top && s.band_bottom) {
      out += "<rect class=\"band\" x=\"" + coordinate(l.left) + "\" y=\"" + coordinate(*s.band_top) + "\" width=\"" +
             coordinate(l.right - l.left) + "\" height=\"" + coordinate(*s.band_bottom - *s.band_top) + "\"/>";
    }
    if (!s.path.empty()) {
      out += "<path class=\"rate\" d=\"" + s.path + "\"/>";
      drawn = true;
    }
    if (s.mean_y) {
      const std::string y = coordinate(*s.mean_y);
      out += "<line class=\"mean\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" + y +
             "\" y2=\"" + y + "\"/>";
    }
    out += "</g>\n";
  }
  if (!drawn) {
    out += "<text class=\"empty\" x=\"" + coordinate((l.left + l.right) / 2.0) + "\" y=\"" +
           coordinate((l.top + l.bottom) / 2.0) + "\" text-anchor=\"middle\">no samples</text>\n";
  }
  out += axis_names_svg(l, "seconds into the measurement window", "operations per second");
  return out + "</svg>\n";
}

std::string legend(std::span<const RunLine> lines) {
  std::string out = "<figcaption><ul class=\"legend\">\n";
  for (const RunLine& line : lines) {
    out += "<li><svg class=\"key " + series_class(line.index) +
           "\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><line class=\"rate\" x1=\"1\" y1=\"6\" x2=\"35\" "
           "y2=\"6\"/></svg>" +
           html_escape(line.label) + "</li>\n";
  }
  out +=
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><line class=\"mean\" x1=\"1\" y1=\"6\" "
      "x2=\"35\" y2=\"6\"/></svg>mean</li>\n"
      "<li><svg class=\"key s0\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><rect class=\"band\" x=\"1\" y=\"1\" "
      "width=\"34\" height=\"10\"/></svg>\u00B11 standard deviation</li>\n"
      "<li><svg class=\"key\" viewBox=\"0 0 36 12\" aria-hidden=\"true\"><rect class=\"tint\" x=\"1\" y=\"1\" "
      "width=\"34\" height=\"10\"/></svg>first and last thirds</li>\n"
      "</ul>Each step is one sample, as wide as the interval it measured.</figcaption>\n";
  return out;
}

}  // namespace

std::string rate_figure(std::uint32_t benchmark, std::span<const RunLine> lines) {
  return "<figure>\n" + chart_svg(benchmark, lines) + legend(lines) + "</figure>\n";
}

}  // namespace truvello::cli
