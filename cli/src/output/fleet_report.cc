#include "output/fleet_report.h"

#include <fmt/format.h>

#include <vector>

#include "model/run_outcome.h"
#include "output/chart.h"
#include "output/html_page.h"
#include "output/score_marks.h"
#include "output/svg_axis.h"
#include "text/html_text.h"
#include "text/markdown_text.h"
#include "text/terminal_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

using nlohmann::json;

const char* benchmark_key(const FleetBenchmark& b) { return BenchmarkKind{b.benchmark}.key(); }

std::string group_title(const FleetGroup& g) {
  return (g.cpu_model.empty() ? std::string("unknown CPU") : g.cpu_model) + ", " + std::to_string(g.online_cpus) +
         " CPUs, library " + g.library_version;
}

std::string plural(std::size_t n, const char* word) { return std::to_string(n) + " " + word + (n == 1 ? "" : "s"); }

std::string overview(const FleetView& view, std::size_t unreadable) {
  std::string out = plural(view.documents, "document") + ", " + plural(view.machines, "machine") + " in " +
                    plural(view.groups.size(), "group");
  if (view.superseded > 0) out += " (" + plural(view.superseded, "older document") + " of a machine left out)";
  if (unreadable > 0) out += "; " + plural(unreadable, "file") + " could not be read";
  return out + "; " + plural(view.named(), "machine") + " named.";
}

// A figure of the group, which has none when no machine completed a run.
std::string figure(const FleetBenchmark& b, double value) { return b.machines.empty() ? "n/a" : rate_text(value); }
json figure_json(const FleetBenchmark& b, double value) { return b.machines.empty() ? json(nullptr) : json(value); }

std::string spread_cells(const FleetBenchmark& b, const char* separator) {
  return figure(b, b.median) + separator + figure(b, b.p10) + separator + figure(b, b.p90);
}

std::string verdict_key(FleetVerdict v) {
  switch (v) {
    case FleetVerdict::kSlow:
      return "slow";
    case FleetVerdict::kMeasurementProblem:
      return "measurement_problem";
    default:
      return "peer";
  }
}

std::string warnings_list(const FleetMachine& m) {
  std::string out;
  for (const std::string& code : m.score->warning_codes) out += (out.empty() ? "" : ", ") + code;
  return out;
}

std::string score_chart(const FleetGroup& g, const FleetBenchmark& b, std::size_t index) {
  ScoreGroup group;
  group.places = b.machines.size();
  for (std::size_t i = 0; i < b.machines.size(); ++i) {
    group.runs.push_back(ScoreRun{i + 1, *b.machines[i].score->score, b.machines[i].verdict != FleetVerdict::kPeer});
  }
  group.score = b.median;
  group.low = b.p10;
  group.high = b.p90;
  const ScoreChartGeometry geometry = score_chart_geometry(std::span<const ScoreGroup>(&group, 1));
  const ChartLayout& l = geometry.layout;
  const std::string id = "fleet-" + std::to_string(index);
  std::string out = "<svg class=\"chart series\" viewBox=\"0 0 " + coordinate(l.width) + " " + coordinate(l.height) +
                    "\" role=\"img\" aria-labelledby=\"" + id + "\"><title id=\"" + id + "\">" +
                    html_escape(group_title(g) + ", " + BenchmarkKind{b.benchmark}.title() +
                                ": every machine's score, slowest first") +
                    "</title>\n";
  out += value_axis_svg(geometry.y_ticks, geometry.y, l);
  // Each machine named on its point, shown when a pointer rests on it.
  const ScoreGroupShape& shape = geometry.groups.front();
  std::vector<std::string> names;
  for (const ScorePoint& p : shape.points) {
    const FleetMachine& m = b.machines[p.place - 1];
    names.push_back(m.record->machine_name() + ": " + rate_text(*m.score->score));
  }
  out += "<g class=\"s0\">" + score_marks_svg(shape, names) + "</g>\n";
  out += axis_names_svg(l, "machines, slowest first", "score (ops/s)");
  return out + "</svg>\n";
}

}  // namespace

std::string fleet_verdict_text(const FleetMachine& machine) {
  if (machine.verdict == FleetVerdict::kSlow) return "slower than its peers";
  if (machine.verdict == FleetVerdict::kPeer) return "within its group";
  std::string doubts;
  for (const std::string& d : machine.doubts) doubts += (doubts.empty() ? "" : ", ") + d;
  return "measurement problem (" + doubts + "): measure it again";
}

std::string fleet_table(const FleetView& view, std::size_t unreadable) {
  std::string out = overview(view, unreadable) + "\n";
  for (const FleetGroup& g : view.groups) {
    out += "\n" + terminal_safe(group_title(g)) + ": " + plural(g.machines, "machine") + "\n";
    out += fmt::format("  {:<10} {:>8}  {:>16}  {:>16}  {:>16}  {:>8}\n", "benchmark", "machines", "median", "p10",
                       "p90", "spread");
    for (const FleetBenchmark& b : g.benchmarks) {
      out += fmt::format("  {:<10} {:>8}  {:>16}  {:>16}  {:>16}  {:>8}\n", benchmark_key(b), b.machines.size(),
                         figure(b, b.median), figure(b, b.p10), figure(b, b.p90),
                         b.machines.empty() ? "n/a" : percent_text(b.spread_percent));
      if (b.without_score > 0) out += "    " + plural(b.without_score, "machine") + " without a completed run\n";
      if (!b.judged && !b.machines.empty()) {
        out += "    too few machines to name any (at least " + std::to_string(kMinFleetPeers) + ")\n";
      }
      for (const FleetMachine& m : b.machines) {
        if (m.verdict == FleetVerdict::kPeer) continue;
        out += "    " + terminal_safe(m.record->machine_name()) + ": " + rate_text(*m.score->score) + ", " +
               off_text(m.off_percent) + " the median: " + fleet_verdict_text(m);
        if (!m.score->warning_codes.empty()) out += "; warnings: " + warnings_list(m);
        out += " [" + terminal_safe(m.record->path) + "]\n";
      }
    }
  }
  return out;
}

std::string fleet_markdown(const FleetView& view, std::size_t unreadable) {
  std::string out = "# Fleet\n\n" + overview(view, unreadable) + "\n";
  for (const FleetGroup& g : view.groups) {
    out += "\n## " + markdown_cell(group_title(g)) + "\n\n" + plural(g.machines, "machine") + ".\n\n";
    out += "| Benchmark | Machines | Median | p10 | p90 | Spread |\n|---|--:|--:|--:|--:|--:|\n";
    for (const FleetBenchmark& b : g.benchmarks) {
      out += std::string("| ") + benchmark_key(b) + " | " + std::to_string(b.machines.size()) + " | " +
             spread_cells(b, " | ") + " | " + (b.machines.empty() ? "n/a" : percent_text(b.spread_percent)) + " |\n";
    }
    std::string named;
    for (const FleetBenchmark& b : g.benchmarks) {
      for (const FleetMachine& m : b.machines) {
        if (m.verdict == FleetVerdict::kPeer) continue;
        named += "| " + markdown_cell(m.record->machine_name()) + " | " + benchmark_key(b) + " | " +
                 rate_text(*m.score->score) + " | " + signed_percent(m.off_percent) + " | " +
                 markdown_cell(fleet_verdict_text(m)) + " | " + markdown_cell(warnings_list(m)) + " |\n";
      }
    }
    if (!named.empty()) {
      out +=
          "\n| Machine | Benchmark | Score | Against the median | Verdict | Warnings |\n|---|---|--:|--:|---|---|\n" +
          named;
    }
  }
  return out;
}

json fleet_json(const FleetView& view, const std::vector<std::string>& unreadable) {
  json groups = json::array();
  for (const FleetGroup& g : view.groups) {
    json benchmarks = json::array();
    for (const FleetBenchmark& b : g.benchmarks) {
      json machines = json::array();
      for (const FleetMachine& m : b.machines) {
        machines.push_back(
            json{{"machine", m.record->machine_name()},
                 {"host_name", m.record->host_name.empty() ? json(nullptr) : json(m.record->host_name)},
                 {"machine_id", m.record->machine_id.empty() ? json(nullptr) : json(m.record->machine_id)},
                 {"path", m.record->path},
                 {"score", *m.score->score},
                 {"off_percent", m.off_percent},
                 {"verdict", verdict_key(m.verdict)},
                 {"runs", m.score->runs},
                 {"disturbed", m.score->disturbed},
                 {"unstable", m.score->unstable},
                 {"warnings", m.score->warning_codes},
                 {"doubts", m.doubts}});
      }
      benchmarks.push_back(json{{"name", benchmark_key(b)},
                                {"benchmark", b.benchmark},
                                {"machines", b.machines.size()},
                                {"without_score", b.without_score},
                                {"median", figure_json(b, b.median)},
                                {"p10", figure_json(b, b.p10)},
                                {"p90", figure_json(b, b.p90)},
                                {"spread_percent", figure_json(b, b.spread_percent)},
                                {"judged", b.judged},
                                {"scores", machines}});
    }
    groups.push_back(json{{"cpu_model", g.cpu_model.empty() ? json(nullptr) : json(g.cpu_model)},
                          {"online_cpus", g.online_cpus},
                          {"library_version", g.library_version},
                          {"machines", g.machines},
                          {"benchmarks", benchmarks}});
  }
  return json{{"documents", view.documents}, {"machines", view.machines}, {"superseded", view.superseded},
              {"named", view.named()},       {"unreadable", unreadable},  {"groups", groups}};
}

std::string fleet_html(const FleetView& view, std::size_t unreadable, std::string_view date) {
  const std::string header = "<header><h1>Fleet</h1><p>" + html_escape(overview(view, unreadable)) + " " +
                             html_escape(date) + "</p></header>\n";
  std::string out;
  std::size_t index = 0;
  for (const FleetGroup& g : view.groups) {
    out += "<section>\n<h2>" + html_escape(group_title(g)) + "</h2>\n<p>" + html_escape(plural(g.machines, "machine")) +
           ".</p>\n";
    for (const FleetBenchmark& b : g.benchmarks) {
      out += std::string("<h3>") + BenchmarkKind{b.benchmark}.title() + "</h3>\n<p>" +
             html_escape(std::to_string(b.machines.size()) + " machines with a score; median " + figure(b, b.median) +
                         ", p10 " + figure(b, b.p10) + ", p90 " + figure(b, b.p90)) +
             "</p>\n";
      if (!b.machines.empty()) out += "<figure class=\"series\">\n" + score_chart(g, b, index++) + "</figure>\n";
      std::string items;
      for (const FleetMachine& m : b.machines) {
        if (m.verdict == FleetVerdict::kPeer) continue;
        items += "<li data-verdict=\"" + verdict_key(m.verdict) + "\">" +
                 html_escape(m.record->machine_name() + ": " + rate_text(*m.score->score) + ", " +
                             off_text(m.off_percent) + " the median: " + fleet_verdict_text(m)) +
                 "</li>\n";
      }
      if (!items.empty()) out += "<ul class=\"warnings\">\n" + items + "</ul>\n";
    }
    out += "</section>\n";
  }
  return html_page(
      "truvello fleet \u00B7 " + std::string(date),
      report_body(header, out,
                  "The line is each group's median score, the band its 10th to 90th percentile; hollow diamonds are "
                  "the machines named below their peers."));
}

}  // namespace truvello::cli
