#include "output/benchmark_section.h"

#include <cmath>

#include "output/rate_figure.h"
#include "output/report_phrases.h"
#include "output/run_line.h"
#include "output/score_figure.h"
#include "text/html_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

// A sample's figure exactly as recorded; a hand-edited file may hold a value
// that is not a number, which reads "n/a" as everywhere else in the report.
std::string exact_cell(double value) { return std::isfinite(value) ? exact_number(value) : "n/a"; }

std::string results_table(std::span<const RunLine> lines) {
  std::string out =
      "<div class=\"scroll\"><table class=\"results\">\n<thead><tr><th>Run</th><th class=\"num\">Score</th>"
      "<th class=\"num\">Variation</th><th class=\"num\">Drift</th><th class=\"num\">Workers</th><th>Status</th>"
      "</tr></thead>\n<tbody>\n";
  for (const RunLine& line : lines) {
    const RunOutcome& run = line.outcome();
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
    if (const auto& stats = line.run->stats; stats && stats->drift_percent) {
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
std::string run_warning_list(std::span<const RunLine> lines, std::vector<MachineWideWarnings>& machine_wide) {
  std::string items;
  for (const RunLine& line : lines) {
    for (const Warning& w : line.run->warnings) {
      if (machine_wide[line.source].gather(w)) continue;
      const std::string who = lines.size() > 1 ? "<strong>" + html_escape(line.label) + ":</strong> " : "";
      items += "<li data-code=\"" + html_escape(w.code) + "\"><span class=\"mark\" aria-hidden=\"true\">\u26A0</span>" +
               who + html_escape(w.message) + "</li>\n";
    }
  }
  if (items.empty()) return "";
  return "<ul class=\"warnings\" aria-label=\"warnings\">\n" + items + "</ul>\n";
}

std::string samples_details(std::span<const RunLine> lines) {
  std::size_t count = 0;
  for (const RunLine& line : lines) count += line.outcome().samples.size();
  std::string out = "<details><summary>Samples (" + std::to_string(count) + ")</summary>\n";
  for (const RunLine& line : lines) {
    if (lines.size() > 1) out += "<h3>" + html_escape(line.label) + "</h3>\n";
    if (line.outcome().samples.empty()) {
      out += "<p>No samples.</p>\n";
      continue;
    }
    out +=
        "<div class=\"scroll\"><table><thead><tr><th class=\"num\">#</th><th class=\"num\">t (s)</th>"
        "<th class=\"num\">dt (s)</th><th class=\"num\">operations</th><th class=\"num\">rate (ops/s)</th>"
        "</tr></thead><tbody>\n";
    std::size_t index = 0;
    for (const truvello_sample_record& s : line.outcome().samples) {
      out += "<tr><td class=\"num\">" + std::to_string(++index) + "</td><td class=\"num\">" + exact_cell(s.t) +
             "</td><td class=\"num\">" + exact_cell(s.dt) + "</td><td class=\"num\">" + std::to_string(s.ops) +
             "</td><td class=\"num\">" + exact_cell(s.rate) + "</td></tr>\n";
    }
    out += "</tbody></table></div>\n";
  }
  return out + "</details>\n";
}

}  // namespace

BenchmarkSection benchmark_section(std::span<const ReportSource> sources, std::uint32_t benchmark, bool comparing,
                                   std::vector<MachineWideWarnings>& machine_wide) {
  const std::vector<RunLine> lines = lines_of(sources, benchmark);
  BenchmarkSection section;
  std::string& out = section.html;
  out = "<section class=\"benchmark\" id=\"benchmark-" + std::to_string(benchmark) + "\">\n<h2>Benchmark " +
        std::to_string(benchmark) + " \u00B7 " + BenchmarkKind{benchmark}.title() + "</h2>\n";
  const std::string scores = score_figure(sources, benchmark, comparing);
  section.scores_shown = !scores.empty();
  out += scores;
  out += results_table(lines);
  out += run_warning_list(lines, machine_wide);
  out += rate_figure(benchmark, lines);
  out += samples_details(lines);
  out += "</section>\n";
  return section;
}

}  // namespace truvello::cli
