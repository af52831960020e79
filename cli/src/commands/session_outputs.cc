#include "commands/session_outputs.h"

#include <ctime>

#include "document/json_report.h"
#include "output/ab_report.h"
#include "output/csv_report.h"
#include "output/html_report.h"
#include "output/markdown_report.h"
#include "output/prometheus_text.h"
#include "output/summary.h"

namespace truvello::cli {

namespace {

using Replace = ExportFile::Replace;

// Each renderer reached through one adapter here, so that a command's table
// below names what it writes in one word.
std::string run_summary(const InvocationView& view, Glyphs glyphs) { return summary_text(view, glyphs); }
std::string run_csv(const InvocationView& view) { return csv_text(view.source()); }
std::string run_markdown(const InvocationView& view) { return markdown_text(view); }
std::string run_html(const InvocationView& view) {
  const ReportSource source{"", &view};
  return html_text({&source, 1}, report_date(std::time(nullptr)));
}
std::string run_prometheus(const InvocationView& view) { return prometheus_text(view); }

// An A/B series has no glyphs to choose: its summary draws no chart.
std::string ab_summary(const InvocationView& view, Glyphs) { return ab_summary_text(view); }
std::string ab_markdown(const InvocationView& view) { return ab_markdown_text(view); }
std::string ab_html(const InvocationView& view) { return ab_html_text(view, report_date(std::time(nullptr))); }

// The Prometheus text is replaced whole, so that a collector reading the
// directory at any moment sees the previous figures or these, never half.
constexpr ExportOffer kRunExports[] = {
    {"--export-json", "Also write the JSON document to FILE", &Options::export_json, Replace::kInPlace, document_json},
    {"--export-csv", "Write every sample as CSV to FILE", &Options::export_csv, Replace::kInPlace, run_csv},
    {"--export-markdown", "Write a Markdown results table to FILE", &Options::export_markdown, Replace::kInPlace,
     run_markdown},
    {"--export-html", "Write a self-contained HTML report with charts to FILE", &Options::export_html,
     Replace::kInPlace, run_html},
    {"--export-prometheus", "Write the scores in Prometheus' text format to FILE, replaced atomically",
     &Options::export_prometheus, Replace::kAtomically, run_prometheus},
};

constexpr ExportOffer kAbExports[] = {
    {"--export-json", "Also write the JSON document (both sides) to FILE", &Options::export_json, Replace::kInPlace,
     document_json},
    {"--export-markdown", "Write the result as Markdown to FILE", &Options::export_markdown, Replace::kInPlace,
     ab_markdown},
    {"--export-html", "Write an HTML report with the pairs' ratios to FILE", &Options::export_html, Replace::kInPlace,
     ab_html},
};

}  // namespace

std::string document_json(const InvocationView& view) { return json_text(view); }

const SessionOutputs& run_outputs() {
  static constexpr SessionOutputs outputs{run_summary, kRunExports};
  return outputs;
}

const SessionOutputs& ab_outputs() {
  static constexpr SessionOutputs outputs{ab_summary, kAbExports};
  return outputs;
}

}  // namespace truvello::cli
