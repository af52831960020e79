#include "output/ab_report.h"

#include <fmt/format.h>

#include <vector>

// kAbStyle: the rules only this page needs (ab_report.css).
#include "ab_report_style.h"
#include "output/chart.h"
#include "output/html_page.h"
#include "output/report_phrases.h"
#include "output/svg_axis.h"
#include "statistics/paired_estimate.h"
#include "text/html_text.h"
#include "text/markdown_text.h"
#include "text/terminal_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

std::string three_places(double value) { return fmt::format("{:.3f}", value); }

// Everything the three views show, worded once; texts from outside are raw
// here and made safe by each view.
struct AbFigures {
  const AbRecord* ab = nullptr;
  std::string benchmark;  // "single worker"
  std::vector<AbPair> pairs;
  std::optional<PairedEstimate> estimate;
  std::vector<bool> stood_out;  // per pair

  // "B (powersave)", or just "B" when the side has no label of its own.
  std::string side(char s) const {
    const std::string letter(1, s);
    return ab->label(s) == letter ? letter : letter + " (" + ab->label(s) + ")";
  }
  // The label and the score: "powersave: 1.180 M ops/s".
  std::string side_score(char s) const {
    const std::string score = !estimate ? "n/a" : rate_text(s == 'A' ? estimate->a_score : estimate->b_score);
    return ab->label(s) == std::string(1, s) ? score : ab->label(s) + ": " + score;
  }
  std::string ratio() const { return estimate ? three_places(estimate->ratio.score) : "n/a"; }
  std::string interval() const {
    if (!estimate || !estimate->ratio.low) return "n/a";
    return three_places(*estimate->ratio.low) + " - " + three_places(*estimate->ratio.high);
  }
  std::string pairs_used() const {
    if (!estimate) return "0";
    return std::to_string(estimate->ratio.kept) + " of " + std::to_string(pairs.size());
  }
  std::string stood_out_text() const {
    std::string out;
    if (estimate) {
      for (const DisturbedRun& d : estimate->ratio.disturbed) {
        if (!out.empty()) out += ", ";
        out += "pair " + std::to_string(pairs[d.index].number) + " (B / A " +
               three_places(pairs[d.index].b / pairs[d.index].a) + ")";
      }
    }
    return out.empty() ? "none" : out;
  }
  std::string stop_text() const {
    const std::string& s = ab->stopped;
    if (s == "setup-failed") return "stopped early: a setup command failed";
    if (s == "cancelled") return "stopped early: interrupted";
    if (s == "failed") return "stopped early: a run failed";
    if (s == "budget") return "stopped at --max-time before the interval was as narrow as asked";
    return "";
  }
};

// The pairs and their estimate come from the view, derived once for every
// output of the series.
AbFigures figures_of(const InvocationView& view) {
  const Invocation& invocation = view.source();
  AbFigures f;
  f.ab = &*invocation.ab;
  f.benchmark = invocation.runs.empty() ? "single worker" : invocation.runs.front().kind().title();
  f.pairs = view.ab->pairs;
  f.estimate = view.ab->estimate;
  f.stood_out.assign(f.pairs.size(), false);
  if (f.estimate) {
    for (const DisturbedRun& d : f.estimate->ratio.disturbed) f.stood_out[d.index] = true;
  }
  return f;
}

}  // namespace

std::string ab_verdict_text(const InvocationView& view) {
  if (!view.source().ab || !view.ab) return "no verdict: no pair of completed runs";
  const AbFigures f = figures_of(view);
  if (f.pairs.empty()) return "no verdict: no pair of completed runs";
  if (!f.estimate || !f.estimate->verdict) return "no verdict: one pair gives no interval (run at least 2)";
  const double change = (f.estimate->ratio.score - 1.0) * 100.0;
  switch (*f.estimate->verdict) {
    case Verdict::kFaster:
      return f.side('B') + " is faster than " + f.side('A') + " by " + percent_text(change);
    case Verdict::kSlower:
      return f.side('B') + " is slower than " + f.side('A') + " by " + percent_text(-change);
    default:
      return "no significant difference between " + f.side('A') + " and " + f.side('B');
  }
}

std::string ab_summary_text(const InvocationView& view) {
  const Invocation& invocation = view.source();
  if (!invocation.ab || !view.ab) return "";
  const AbFigures f = figures_of(view);
  const auto line = [](std::string_view key, const std::string& value) {
    return fmt::format("  {:<16}{}\n", key, value);
  };
  std::string out = "truvello ab: " + f.benchmark + " benchmark, " + std::to_string(f.pairs.size()) + " pair" +
                    (f.pairs.size() == 1 ? "" : "s") + " in the order " + f.ab->order + "\n";
  out += "  " + machine_line(invocation.machine, ", ") + "\n\n";
  out += line("A", terminal_safe(f.side_score('A')));
  out += line("B", terminal_safe(f.side_score('B')));
  out += line("B / A", f.ratio() + " (95 % interval " + f.interval() + ")");
  out += line("verdict", terminal_safe(ab_verdict_text(view)));
  out += line("pairs used", f.pairs_used());
  out += line("stood out", f.stood_out_text());
  out += line("seed", std::to_string(f.ab->seed));
  if (const std::string stop = f.stop_text(); !stop.empty()) out += line("note", stop);
  if (!f.pairs.empty()) {
    out += "\n  pair  order  A score           B score           B / A\n";
    for (std::size_t i = 0; i < f.pairs.size(); ++i) {
      const AbPair& p = f.pairs[i];
      const std::string order = p.a_run < p.b_run ? "AB" : "BA";
      out += fmt::format("  {:>4}  {:<5}  {:<16}  {:<16}  {}{}\n", p.number, order, rate_text(p.a), rate_text(p.b),
                         three_places(p.b / p.a), f.stood_out[i] ? "  stood out, left out" : "");
    }
  }
  return out;
}

std::string ab_markdown_text(const InvocationView& view) {
  const Invocation& invocation = view.source();
  if (!invocation.ab || !view.ab) return "";
  const AbFigures f = figures_of(view);
  std::string out = "## truvello ab: " + f.benchmark + " benchmark\n\n";
  out += "| A | B | A score | B score | B / A | 95 % interval | verdict | pairs used | stood out | seed |\n";
  out += "|---|---|--:|--:|--:|---|---|--:|---|--:|\n";
  out += "| " + markdown_cell(f.ab->label_a) + " | " + markdown_cell(f.ab->label_b) + " | " +
         markdown_cell(f.side_score('A')) + " | " + markdown_cell(f.side_score('B')) + " | " + f.ratio() + " | " +
         f.interval() + " | " + markdown_cell(ab_verdict_text(view)) + " | " + f.pairs_used() + " | " +
         f.stood_out_text() + " | " + std::to_string(f.ab->seed) + " |\n";
  out += "\nOrder " + f.ab->order + "; the interval is Student's t over the pairs' log ratios.\n";
  if (const std::string stop = f.stop_text(); !stop.empty()) out += "\n" + stop + ".\n";
  return out;
}

std::string ab_html_text(const InvocationView& view, std::string_view date) {
  const Invocation& invocation = view.source();
  if (!invocation.ab || !view.ab) return "";
  const AbFigures f = figures_of(view);
  std::string out = "<h1>truvello ab: " + html_escape(f.benchmark) + " benchmark</h1>\n<p>" + html_escape(date) +
                    " \u00B7 " + html_escape(machine_line(invocation.machine, " \u00B7 ")) + "</p>\n<table>\n";
  const auto row = [&out](std::string_view key, const std::string& value) {
    out += "<tr><th>" + html_escape(key) + "</th><td>" + html_escape(value) + "</td></tr>\n";
  };
  row("A", f.side_score('A'));
  row("B", f.side_score('B'));
  row("B / A", f.ratio() + " (95 % interval " + f.interval() + ")");
  row("verdict", ab_verdict_text(view));
  row("pairs used", f.pairs_used());
  row("stood out", f.stood_out_text());
  row("order", f.ab->order);
  row("seed", std::to_string(f.ab->seed));
  if (const std::string stop = f.stop_text(); !stop.empty()) row("note", stop);
  out += "</table>\n";

  if (!f.pairs.empty()) {
    // One group of points: each pair's ratio at its place, the estimate as
    // a line and its interval as a band; the dashed line marks no change.
    ScoreGroup group;
    group.places = f.pairs.size();
    for (std::size_t i = 0; i < f.pairs.size(); ++i) {
      group.runs.push_back(ScoreRun{i + 1, f.pairs[i].b / f.pairs[i].a, f.stood_out[i]});
    }
    if (f.estimate) {
      group.score = f.estimate->ratio.score;
      group.low = f.estimate->ratio.low;
      group.high = f.estimate->ratio.high;
    }
    const ScoreChartGeometry g = score_chart_geometry({&group, 1});
    const ChartLayout& l = g.layout;
    const ScoreGroupShape& shape = g.groups.front();
    out += "<figure>\n<svg class=\"chart series\" viewBox=\"0 0 " + coordinate(l.width) + " " + coordinate(l.height) +
           "\" role=\"img\" aria-label=\"B / A of each pair in the order they ran\">\n";
    out += value_axis_svg(g.y_ticks, g.y, l);
    if (shape.band_top && shape.band_bottom) {
      out += "<rect class=\"band\" x=\"" + coordinate(shape.span.x0) + "\" width=\"" +
             coordinate(shape.span.x1 - shape.span.x0) + "\" y=\"" + coordinate(*shape.band_top) + "\" height=\"" +
             coordinate(*shape.band_bottom - *shape.band_top) + "\"/>\n";
    }
    if (shape.score_y) {
      out += "<line class=\"score\" x1=\"" + coordinate(shape.span.x0) + "\" x2=\"" + coordinate(shape.span.x1) +
             "\" y1=\"" + coordinate(*shape.score_y) + "\" y2=\"" + coordinate(*shape.score_y) + "\"/>\n";
    }
    if (g.y.domain_lo < 1.0 && 1.0 < g.y.domain_hi) {
      const std::string y = coordinate(g.y.at(1.0));
      out += "<line class=\"one\" x1=\"" + coordinate(l.left) + "\" x2=\"" + coordinate(l.right) + "\" y1=\"" + y +
             "\" y2=\"" + y + "\"/>\n";
    }
    for (const ScorePoint& p : shape.points) {
      out += "<circle class=\"" + std::string(p.disturbed ? "point out" : "point") + "\" cx=\"" + coordinate(p.x) +
             "\" cy=\"" + coordinate(p.y) + "\" r=\"4\"><title>pair " + std::to_string(p.place) + "</title></circle>\n";
      out += "<text class=\"tick\" x=\"" + coordinate(p.x) + "\" y=\"" + coordinate(l.bottom + 16) +
             "\" text-anchor=\"middle\">" + std::to_string(p.place) + "</text>\n";
    }
    out +=
        "</svg>\n<figcaption>B / A of each pair, in the order the pairs ran; the line is the estimate, the band "
        "its 95 % interval, the dashed line no difference; a red point stood out and was left out.</figcaption>\n"
        "</figure>\n";
  }
  // The page's own rules, after the shared ones: the pairs' chart has a
  // line for no change, pairs that stood out and pair numbers as its foot.
  return html_page("truvello ab " + f.ab->label_a + " / " + f.ab->label_b, out, kAbStyle);
}

}  // namespace truvello::cli
