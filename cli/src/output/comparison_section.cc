#include "output/comparison_section.h"

#include <optional>

#include "output/comparison_report.h"
#include "text/html_text.h"

namespace truvello::cli {

namespace {

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

}  // namespace

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

}  // namespace truvello::cli
