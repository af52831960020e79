#include "output/html_report.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

// kStyle: the style sheet (html_report.css), inlined in every report since
// the page may load nothing from elsewhere.
#include "html_report_style.h"
#include "output/chart.h"
#include "output/comparison_report.h"
#include "output/report_phrases.h"
#include "statistics/comparison.h"
#include "statistics/rate_stats.h"
#include "statistics/scaling.h"
#include "statistics/series_estimate.h"
#include "statistics/warnings.h"
#include "text/terminal_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

// Lines differ by dash pattern as well as by colour, so that they stay apart
// in print and for readers who do not tell the colours apart.
constexpr std::size_t kColours = 6;
constexpr std::size_t kDashes = 4;

// Nothing from the network, ever: no script, no fetch, no font, no image
// from elsewhere. Inline styles are the only thing allowed in.
constexpr const char* kContentPolicy =
    "default-src 'none'; style-src 'unsafe-inline'; img-src data:; base-uri 'none'; form-action 'none'";

// A figure of the machine; one that is not a number reads 0.
double shown(double value) { return std::isfinite(value) ? value : 0.0; }

// A sample's figure exactly as recorded; a hand-edited file may hold a value
// that is not a number, which reads "n/a" as everywhere else in the report.
std::string exact_cell(double value) { return std::isfinite(value) ? exact_number(value) : "n/a"; }

// One run as a line of a chart and a row of a table.
struct Line {
  std::size_t source = 0;  // index into the sources
  const Invocation* invocation = nullptr;
  const RunOutcome* run = nullptr;
  std::size_t index = 0;  // position among the chart's lines: picks colour and dash
  std::string label;
};

std::vector<std::uint32_t> benchmarks_in_order(std::span<const ReportSource> sources) {
  std::vector<std::uint32_t> out;
  for (const ReportSource& source : sources) {
    for (const RunOutcome& run : source.invocation->runs) {
      if (std::find(out.begin(), out.end(), run.config.benchmark) == out.end()) out.push_back(run.config.benchmark);
    }
  }
  return out;
}

std::string source_name(std::span<const ReportSource> sources, std::size_t i) {
  if (!sources[i].label.empty()) return sources[i].label;
  if (sources.size() > 1) return "source " + std::to_string(i + 1);
  return "";
}

std::vector<Line> lines_of(std::span<const ReportSource> sources, std::uint32_t benchmark) {
  std::vector<Line> out;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const Invocation& inv = *sources[i].invocation;
    const auto repeats = std::count_if(inv.runs.begin(), inv.runs.end(),
                                       [&](const RunOutcome& r) { return r.config.benchmark == benchmark; });
    std::size_t repeat = 0;
    for (const RunOutcome& run : inv.runs) {
      if (run.config.benchmark != benchmark) continue;
      ++repeat;
      std::string label = source_name(sources, i);
      if (repeats > 1) label += (label.empty() ? "run " : ", run ") + std::to_string(repeat);
      if (label.empty()) label = "this run";
      out.push_back(Line{i, &inv, &run, out.size(), std::move(label)});
    }
  }
  return out;
}

std::string series_class(std::size_t index) {
  return "s" + std::to_string(index % kColours) + " d" + std::to_string(index % kDashes);
}

std::string header(std::span<const ReportSource> sources, std::string_view date) {
  std::string out = "<header>\n<h1>truvello report</h1>\n<p class=\"meta\">" + html_escape(date) + "</p>\n";
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const Invocation& inv = *sources[i].invocation;
    const std::string name = source_name(sources, i);
    const std::string prefix = name.empty() ? "" : "<strong>" + html_escape(name) + "</strong>: ";
    out += "<p class=\"meta\">" + prefix + "truvello " + html_escape(inv.command_version) + " \u00B7 library " +
           html_escape(inv.library_version) + " (interface " + std::to_string(inv.abi_version) + ")</p>\n";
    out += "<p class=\"machine-line\">" + html_escape(machine_line(inv.machine, " \u00B7 ")) + "</p>\n";
  }
  return out + "</header>\n";
}

std::string results_table(const std::vector<Line>& lines) {
  std::string out =
      "<div class=\"scroll\"><table class=\"results\">\n<thead><tr><th>Run</th><th class=\"num\">Score</th>"
      "<th class=\"num\">Variation</th><th class=\"num\">Drift</th><th class=\"num\">Workers</th><th>Status</th>"
      "</tr></thead>\n<tbody>\n";
  for (const Line& line : lines) {
    const RunOutcome& run = *line.run;
    std::string score = "n/a", variation = "n/a", drift = "n/a", workers = "0";
    std::uint32_t status = run.status;
    if (run.result) {
      const truvello_result_record& r = *run.result;
      status = r.status;
      workers = std::to_string(r.workers);
      if (r.status == TRUVELLO_STATUS_COMPLETED) score = rate_text(r.mean_rate);
      if (r.cv_valid != 0) {
        variation = percent_text(r.cv_percent) + " CV";
        if (r.unstable != 0) variation = "<span class=\"unstable\">" + variation + ", unstable</span>";
      }
    }
    if (const auto stats = rate_stats(run.samples); stats && stats->drift_percent) {
      drift = signed_percent(*stats->drift_percent);
    }
    out += "<tr><td data-label=\"Run\">" + html_escape(line.label) + "</td><td class=\"num\" data-label=\"Score\">" +
           score + "</td><td class=\"num\" data-label=\"Variation\">" + variation +
           "</td><td class=\"num\" data-label=\"Drift\">" + drift + "</td><td class=\"num\" data-label=\"Workers\">" +
           workers + "</td><td data-label=\"Status\">" + html_escape(status_with_reason(status, run.reason)) +
           "</td></tr>\n";
  }
  return out + "</tbody></table></div>\n";
}

// The warnings of each run, as the terminal words them; machine-wide ones
// are gathered for the machine section instead.
std::string run_warning_list(const std::vector<Line>& lines, std::vector<MachineWideWarnings>& machine_wide) {
  std::string items;
  for (const Line& line : lines) {
    for (const Warning& w : run_warnings(*line.run, line.invocation->machine)) {
      if (machine_wide[line.source].gather(w)) continue;
      const std::string who = lines.size() > 1 ? "<strong>" + html_escape(line.label) + ":</strong> " : "";
      items += "<li data-code=\"" + html_escape(w.code) + "\"><span class=\"mark\" aria-hidden=\"true\">\u26A0</span>" +
               who + html_escape(w.message) + "</li>\n";
    }
  }
  if (items.empty()) return "";
  return "<ul class=\"warnings\" aria-label=\"warnings\">\n" + items + "</ul>\n";
}

std::string chart_description(const std::vector<Line>& lines, const ChartGeometry& g) {
  std::string out;
  for (const Line& line : lines) {
    const auto& samples = line.run->samples;
    out += line.label + ": ";
    const auto spread = rate_spread(samples);
    if (!spread) {
      out += "no samples were recorded. ";
      continue;
    }
    out += std::to_string(samples.size()) + (samples.size() == 1 ? " sample" : " samples") + " over " +
           seconds_text(samples.back().t) + ", mean " + rate_text(spread->mean);
    if (spread->sd) out += ", standard deviation " + rate_text(*spread->sd);
    if (const auto stats = rate_stats(samples)) {
      out += ", lowest " + rate_text(stats->min) + ", highest " + rate_text(stats->max);
      if (stats->drift_percent) out += ", drift " + signed_percent(*stats->drift_percent);
    }
    out += ". ";
  }
  if (g.first_third) out += "The first and last thirds of the window, which the drift figure compares, are shaded.";
  return out;
}

std::string chart_svg(std::uint32_t benchmark, const std::vector<Line>& lines) {
  std::vector<std::span<const truvello_sample_record>> runs;
  for (const Line& line : lines) runs.emplace_back(line.run->samples);
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
  for (std::size_t i = 0; i < g.y_ticks.values.size(); ++i) {
    const std::string y = coordinate(g.y.at(g.y_ticks.values[i]));
    out += "<line class=\"grid\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" + y +
           "\" y2=\"" + y + "\"/><text x=\"" + coordinate(l.left - 6.0) + "\" y=\"" + y +
           "\" dy=\"4\" text-anchor=\"end\">" + html_escape(g.y_ticks.labels[i]) + "</text>\n";
  }
  for (std::size_t i = 0; i < g.x_ticks.values.size(); ++i) {
    const std::string x = coordinate(g.x.at(g.x_ticks.values[i]));
    out += "<line class=\"axis\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + coordinate(l.bottom) + "\" y2=\"" +
           coordinate(l.bottom + 5.0) + "\"/><text x=\"" + x + "\" y=\"" + coordinate(l.bottom + 19.0) +
           "\" text-anchor=\"middle\">" + html_escape(g.x_ticks.labels[i]) + "</text>\n";
  }
  out += "<line class=\"axis\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" +
         coordinate(l.bottom) + "\" y2=\"" + coordinate(l.bottom) + "\"/>\n";
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
  out += "<text x=\"" + coordinate((l.left + l.right) / 2.0) + "\" y=\"" + coordinate(l.height - 8.0) +
         "\" text-anchor=\"middle\">seconds into the measurement window</text>\n";
  out += "<text transform=\"translate(14 " + coordinate((l.top + l.bottom) / 2.0) +
         ") rotate(-90)\" text-anchor=\"middle\">operations per second</text>\n";
  return out + "</svg>\n";
}

std::string legend(const std::vector<Line>& lines) {
  std::string out = "<figcaption><ul class=\"legend\">\n";
  for (const Line& line : lines) {
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

std::string samples_details(const std::vector<Line>& lines) {
  std::size_t count = 0;
  for (const Line& line : lines) count += line.run->samples.size();
  std::string out = "<details><summary>Samples (" + std::to_string(count) + ")</summary>\n";
  for (const Line& line : lines) {
    if (lines.size() > 1) out += "<h3>" + html_escape(line.label) + "</h3>\n";
    if (line.run->samples.empty()) {
      out += "<p>No samples.</p>\n";
      continue;
    }
    out +=
        "<div class=\"scroll\"><table><thead><tr><th class=\"num\">#</th><th class=\"num\">t (s)</th>"
        "<th class=\"num\">dt (s)</th><th class=\"num\">operations</th><th class=\"num\">rate (ops/s)</th>"
        "</tr></thead><tbody>\n";
    std::size_t index = 0;
    for (const truvello_sample_record& s : line.run->samples) {
      out += "<tr><td class=\"num\">" + std::to_string(++index) + "</td><td class=\"num\">" + exact_cell(s.t) +
             "</td><td class=\"num\">" + exact_cell(s.dt) + "</td><td class=\"num\">" + std::to_string(s.ops) +
             "</td><td class=\"num\">" + exact_cell(s.rate) + "</td></tr>\n";
    }
    out += "</tbody></table></div>\n";
  }
  return out + "</details>\n";
}

// One source's completed runs of one benchmark as the score chart shows
// them, with the series' score over them.
struct SourceSeries {
  std::string name;  // the source's name; empty for a report of one invocation
  ScoreGroup group;
  std::optional<SeriesEstimate> estimate;
};

std::vector<SourceSeries> series_of(std::span<const ReportSource> sources, std::uint32_t benchmark) {
  std::vector<SourceSeries> out;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    SourceSeries series{source_name(sources, i), {}, std::nullopt};
    std::vector<double> scores;
    std::size_t place = 0;
    for (const RunOutcome& run : sources[i].invocation->runs) {
      if (run.config.benchmark != benchmark) continue;
      ++place;
      if (!run.completed()) continue;
      series.group.runs.push_back(ScoreRun{place, run.result->mean_rate, false});
      scores.push_back(run.result->mean_rate);
    }
    series.group.places = std::max<std::size_t>(place, 1);
    series.estimate = estimate_series(scores);
    if (series.estimate) {
      series.group.score = series.estimate->score;
      series.group.low = series.estimate->low;
      series.group.high = series.estimate->high;
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
  for (std::size_t i = 0; i < g.y_ticks.values.size(); ++i) {
    const std::string y = coordinate(g.y.at(g.y_ticks.values[i]));
    out += "<line class=\"grid\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" + y +
           "\" y2=\"" + y + "\"/><text x=\"" + coordinate(l.left - 6.0) + "\" y=\"" + y +
           "\" dy=\"4\" text-anchor=\"end\">" + html_escape(g.y_ticks.labels[i]) + "</text>\n";
  }
  out += "<line class=\"axis\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" +
         coordinate(l.bottom) + "\" y2=\"" + coordinate(l.bottom) + "\"/>\n";

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
      const Ticks ticks = round_ticks(1.0, places, static_cast<int>(std::min(places - 1.0, 8.0)), false);
      for (std::size_t t = 0; t < ticks.values.size(); ++t) {
        const std::string x = coordinate(shape.x.at(ticks.values[t]));
        out += "<line class=\"axis\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + coordinate(l.bottom) + "\" y2=\"" +
               coordinate(l.bottom + 5.0) + "\"/><text x=\"" + x + "\" y=\"" + coordinate(l.bottom + 19.0) +
               "\" text-anchor=\"middle\">" + html_escape(ticks.labels[t]) + "</text>\n";
      }
    }
    const std::string x0 = coordinate(shape.x.pixel_lo - 10.0);
    const std::string width = coordinate(shape.x.pixel_hi - shape.x.pixel_lo + 20.0);
    out += "<g class=\"" + series_class(i) + "\">";
    if (shape.band_top && shape.band_bottom) {
      out += "<rect class=\"band\" x=\"" + x0 + "\" y=\"" + coordinate(*shape.band_top) + "\" width=\"" + width +
             "\" height=\"" + coordinate(*shape.band_bottom - *shape.band_top) + "\"/>";
    }
    if (shape.score_y) {
      const std::string y = coordinate(*shape.score_y);
      out += "<line class=\"score\" x1=\"" + x0 + "\" x2=\"" + coordinate(shape.x.pixel_hi + 10.0) + "\" y1=\"" + y +
             "\" y2=\"" + y + "\"/>";
    }
    for (const ScorePoint& p : shape.points) {
      if (p.disturbed) {
        // A hollow diamond where the others are dots: told apart by shape in
        // print and without colour.
        out += "<path class=\"point disturbed\" d=\"M" + coordinate(p.x) + " " + coordinate(p.y - 6.0) +
               "l6 6-6 6-6-6z\"/>";
      } else {
        out += "<circle class=\"point\" cx=\"" + coordinate(p.x) + "\" cy=\"" + coordinate(p.y) + "\" r=\"4\"/>";
      }
    }
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
  out += "<text x=\"" + coordinate(middle) + "\" y=\"" + coordinate(l.height - 8.0) + "\" text-anchor=\"middle\">" +
         (several ? "the runs of each file, in order" : "run") + "</text>\n";
  out += "<text transform=\"translate(14 " + coordinate((l.top + l.bottom) / 2.0) +
         ") rotate(-90)\" text-anchor=\"middle\">score (ops/s)</text>\n";
  return out + "</svg>\n";
}

std::string score_figure(std::uint32_t benchmark, const std::vector<SourceSeries>& series) {
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

const char* method_text(const std::optional<Method>& method) {
  if (!method) return "no interval";
  switch (*method) {
    case Method::kRunScores:
      return "run scores";
    case Method::kBatchMeans:
      return "batch means";
    case Method::kMixed:
      return "mixed";
  }
  return "no interval";
}

// The answer first: per benchmark and candidate, the scores, the ratio with
// its interval and the verdict in words, then everything that makes the
// comparison less clean than it looks.
std::string comparison_section(const Comparison& c) {
  const bool several = c.candidates.size() > 1;
  std::string out = "<section id=\"comparison\">\n<h2>Comparison</h2>\n<p class=\"meta\">Baseline <strong>" +
                    html_escape(c.baseline) + "</strong> \u00B7 " + (several ? "candidates " : "candidate ");
  for (std::size_t i = 0; i < c.candidates.size(); ++i) {
    out += (i > 0 ? ", <strong>" : "<strong>") + html_escape(c.candidates[i]) + "</strong>";
  }
  out += "</p>\n<div class=\"scroll\"><table class=\"results comparison\">\n<thead><tr><th>Benchmark</th>" +
         std::string(several ? "<th>File</th>" : "") +
         "<th class=\"num\">Baseline</th><th class=\"num\">Candidate</th><th class=\"num\">Ratio</th>"
         "<th class=\"num\">95 % interval</th><th>Verdict</th><th>Method</th></tr></thead>\n<tbody>\n";
  for (const ComparisonRow& row : c.rows) {
    out += "<tr><td data-label=\"Benchmark\">" + std::string(BenchmarkKind{row.benchmark}.title()) + "</td>";
    if (several) out += "<td data-label=\"File\">" + html_escape(row.candidate) + "</td>";
    out += "<td class=\"num\" data-label=\"Baseline\">" + html_escape(score_text(row.baseline)) +
           "</td><td class=\"num\" data-label=\"Candidate\">" + html_escape(score_text(row.candidate_side)) +
           "</td><td class=\"num\" data-label=\"Ratio\">" + ratio_text(row.ratio) + " (" + change_text(row.ratio) +
           ")</td><td class=\"num\" data-label=\"95 % interval\">" + html_escape(interval_text(row)) +
           "</td><td data-label=\"Verdict\" class=\"verdict-" + verdict_key(row.verdict) + "\">" +
           html_escape(verdict_text(row.verdict)) + "</td><td data-label=\"Method\">" + method_text(row.method) +
           "</td></tr>\n";
  }
  out += "</tbody></table></div>\n";
  if (!c.notes.empty()) {
    out += "<h3>Notes</h3>\n<ul class=\"notes\">\n";
    for (const std::string& note : c.notes) out += "<li>" + html_escape(note) + "</li>\n";
    out += "</ul>\n";
  }
  return out + "</section>\n";
}

// With sources compared, every benchmark shows its run scores per file; a
// report of one invocation shows them for a series of two runs or more.
bool shows_scores(const std::vector<SourceSeries>& series, bool comparing) {
  std::size_t points = 0;
  for (const SourceSeries& s : series) points += s.group.runs.size();
  return comparing ? points > 0 : points >= 2;
}

std::string benchmark_section(std::span<const ReportSource> sources, std::uint32_t benchmark, bool comparing,
                              std::vector<MachineWideWarnings>& machine_wide, bool& scores_shown) {
  const std::vector<Line> lines = lines_of(sources, benchmark);
  std::string out = "<section class=\"benchmark\" id=\"benchmark-" + std::to_string(benchmark) + "\">\n<h2>Benchmark " +
                    std::to_string(benchmark) + " \u00B7 " + BenchmarkKind{benchmark}.title() + "</h2>\n";
  if (const std::vector<SourceSeries> series = series_of(sources, benchmark); shows_scores(series, comparing)) {
    out += score_figure(benchmark, series);
    scores_shown = true;
  }
  out += results_table(lines);
  out += run_warning_list(lines, machine_wide);
  out += "<figure>\n" + chart_svg(benchmark, lines) + legend(lines) + "</figure>\n";
  out += samples_details(lines);
  return out + "</section>\n";
}

std::string scaling_section(std::span<const ReportSource> sources) {
  std::string items;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const auto s = scaling(*sources[i].invocation);
    if (!s) continue;
    const std::string name = source_name(sources, i);
    items += "<p>" + (name.empty() ? std::string() : "<strong>" + html_escape(name) + ":</strong> ") + "Efficiency " +
             percent_text(s->efficiency * 100.0) + " (" + scaling_sentence(*s, "\u00D7") + ")</p>\n";
  }
  if (items.empty()) return "";
  return "<section id=\"scaling\">\n<h2>Scaling</h2>\n" + items + "</section>\n";
}

std::string fact(const char* name, const std::string& value) {
  return std::string("<tr><th scope=\"row\">") + name + "</th><td>" + html_escape(value) + "</td></tr>\n";
}

std::string machine_table(const MachineContext& m) {
  std::string out = "<div class=\"scroll\"><table class=\"facts\"><tbody>\n";
  if (!m.host_name.empty()) out += fact("Host name", m.host_name);
  out += fact("CPU model", m.cpu_model.empty() ? "unknown" : m.cpu_model);
  out += fact("CPUs online", std::to_string(m.online_cpus));
  out += fact("Usable CPUs", fmt::format("{:.3g}", shown(m.usable_cpus())));
  out += fact("Affinity mask", m.affinity_cpus ? std::to_string(*m.affinity_cpus) + " CPUs" : "not read");
  std::string quota = "none";
  if (m.cpu_quota && m.cpu_quota->quota_us) {
    quota = "cpu.max " + std::to_string(*m.cpu_quota->quota_us) + " " + std::to_string(m.cpu_quota->period_us);
    if (const auto cpus = m.cpu_quota->cpus()) quota += " (" + fmt::format("{:.3g}", shown(*cpus)) + " CPUs)";
  }
  out += fact("cgroup quota", quota);
  out += fact("OS kernel", m.os_kernel.empty() ? "unknown" : m.os_kernel);
  std::string governors;
  for (const std::string& g : m.governors) governors += (governors.empty() ? "" : ", ") + g;
  out += fact("Frequency governors", governors.empty() ? "not exposed" : governors);
  out += fact("Hypervisor", m.hypervisor ? "yes" : "no");
  out += fact("Load average before the run",
              m.load ? fmt::format("{:.2f} {:.2f} {:.2f} (1, 5, 15 min)", shown(m.load->one), shown(m.load->five),
                                   shown(m.load->fifteen))
                     : "not read");
  return out + "</tbody></table></div>\n";
}

std::string machine_section(std::span<const ReportSource> sources,
                            const std::vector<MachineWideWarnings>& machine_wide) {
  std::string out = "<section id=\"machine\">\n<h2>Machine</h2>\n";
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const std::string name = source_name(sources, i);
    if (!name.empty()) out += "<h3>" + html_escape(name) + "</h3>\n";
    out += machine_table(sources[i].invocation->machine);
    std::string items;
    for (const Warning& w : machine_wide[i].list()) {
      items += "<li data-code=\"" + html_escape(w.code) + "\"><span class=\"mark\" aria-hidden=\"true\">\u26A0</span>" +
               html_escape(w.message) + "</li>\n";
    }
    if (!items.empty()) out += "<ul class=\"warnings\" aria-label=\"machine warnings\">\n" + items + "</ul>\n";
  }
  return out + "</section>\n";
}

}  // namespace

std::string html_escape(std::string_view outside_text) {
  // Control characters are not allowed in an HTML document, and bytes that
  // are not UTF-8 would garble it: both are shown as visible escapes first.
  const std::string text = terminal_safe(outside_text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string html_text(std::span<const ReportSource> sources_in, std::string_view date, const Comparison* comparison) {
  std::vector<ReportSource> sources;
  for (const ReportSource& s : sources_in) {
    if (s.invocation != nullptr) sources.push_back(s);
  }
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"";
  out += kContentPolicy;
  out +=
      "\">\n<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta name=\"color-scheme\" content=\"light dark\">\n<title>truvello report \u00B7 " +
      html_escape(date) + "</title>\n<style>" + kStyle + "</style>\n</head>\n<body>\n";
  out += header(sources, date);
  out += "<main>\n";
  if (comparison != nullptr) out += comparison_section(*comparison);
  const bool comparing = comparison != nullptr || sources.size() > 1;
  std::vector<MachineWideWarnings> machine_wide(sources.size());
  bool scores_shown = false;
  for (std::uint32_t benchmark : benchmarks_in_order(sources)) {
    out += benchmark_section(sources, benchmark, comparing, machine_wide, scores_shown);
  }
  if (benchmarks_in_order(sources).empty()) out += "<p>No run to show.</p>\n";
  out += scaling_section(sources);
  out += machine_section(sources, machine_wide);
  out +=
      "</main>\n<footer><p>Rates are operations per second, one operation being one step of the workload "
      "kernel. Variation is the time-weighted coefficient of variation of the per-second rate; drift compares "
      "the first and the last third of the window.";
  if (scores_shown) {
    out +=
        " A series' score is the geometric mean of its runs' scores, leaving out disturbed runs: those that stand "
        "far from the others' median, as when the machine was busy with something else for a while.";
  }
  if (comparison != nullptr) {
    out +=
        " The ratio is the candidate's score over the baseline's; the verdict is faster or slower only when its "
        "95 % interval lies wholly above or below 1. Method run scores: the interval rests on the spread of each "
        "side's run scores; batch means: on the spread within the single run of each side; mixed: one of each.";
  }
  out += "</p></footer>\n</body>\n</html>\n";
  return out;
}

std::string report_date(std::time_t when) {
  std::tm utc{};
  char date[32] = "unknown date";
  if (gmtime_r(&when, &utc) != nullptr) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", &utc);
  return date;
}

}  // namespace truvello::cli
