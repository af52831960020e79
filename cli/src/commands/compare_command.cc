#include "commands/compare_command.h"

#include <ctime>

#include "commands/ab_side.h"
#include "commands/export_file.h"
#include "document/json_text.h"
#include "output/comparison_report.h"
#include "output/html_report.h"
#include "statistics/comparison.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

CommandOutput unusable(const std::string& line) { return CommandOutput{kExitFailed, "", "truvello: " + line + "\n"}; }

// The rows that break the gate, one line each, for stderr.
std::string gate_lines(const Comparison& comparison, double percent) {
  std::string out;
  for (const ComparisonRow& row : comparison.rows) {
    if (row.verdict != Verdict::kSlower || !(row.ratio < 1.0 - percent / 100.0)) continue;
    out += "truvello: " + row.candidate + " is slower than " + comparison.baseline + " on the " +
           BenchmarkKind{row.benchmark}.title() + " benchmark by " + percent_text((1.0 - row.ratio) * 100.0) +
           ", more than the " + percent_text(percent) + " --fail-if-slower allows\n";
  }
  return out;
}

// Why the gate cannot judge, as one line: the first side of a compared
// benchmark with fewer completed runs than a verdict on the setups needs.
// Empty when it can judge.
std::string gate_refusal(const Comparison& comparison) {
  const std::string least = std::to_string(kMinSeriesRuns);
  for (const ComparisonRow& row : comparison.rows) {
    for (const auto& [name, side] :
         {std::pair{&comparison.baseline, &row.baseline}, std::pair{&row.candidate, &row.candidate_side}}) {
      if (side->runs >= kMinSeriesRuns) continue;
      return *name + " has " + std::to_string(side->runs) + " completed run" + (side->runs == 1 ? "" : "s") +
             " of the " + BenchmarkKind{row.benchmark}.title() + " benchmark; --fail-if-slower needs at least " +
             least + " on each side: record them with --repeat " + least + " or --precision PCT";
    }
  }
  return "";
}

}  // namespace

CommandOutput compare_command(const CompareOptions& options, bool colour) {
  const auto read = [](const std::string& path, ComparedFile& file) -> std::string {
    ExportRead result = read_export_or_side(path);
    if (!result.saved) return result.error;
    if (result.saved->invocation.ab) {
      // Both sides as one series would judge neither.
      return path + ": an A/B series; compare its sides as " + path + "#A and " + path + "#B";
    }
    file = ComparedFile{path, std::move(*result.saved)};
    return "";
  };
  ComparedFile baseline;
  if (std::string error = read(options.baseline, baseline); !error.empty()) return unusable(error);
  std::vector<ComparedFile> candidates(options.candidates.size());
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    if (std::string error = read(options.candidates[i], candidates[i]); !error.empty()) return unusable(error);
  }

  // Each file's figures derived once, for the comparison and its page alike.
  std::vector<InvocationView> views{view_of(baseline.saved.invocation)};
  for (const ComparedFile& c : candidates) views.push_back(view_of(c.saved.invocation));
  const ComparisonResult result = compare_exports(baseline, candidates, views);
  if (!result.comparison) return unusable(result.error);
  const Comparison& comparison = *result.comparison;
  // The gate judges series only; a refusal still prints the comparison,
  // which a reader can use as long as the notes are read with it.
  const std::string refusal = options.fail_if_slower_percent ? gate_refusal(comparison) : "";
  const bool gate_failed =
      options.fail_if_slower_percent && refusal.empty() && gate_fails(comparison, *options.fail_if_slower_percent);

  CommandOutput output;
  if (options.json) {
    const std::optional<bool> judged = refusal.empty() ? std::optional<bool>(gate_failed) : std::nullopt;
    output.out = json_text(comparison_json(comparison, options.fail_if_slower_percent, judged));
  } else {
    output.out = comparison_table(comparison, colour);
  }
  if (!options.export_markdown.empty()) {
    output.err = write_export(options.export_markdown, comparison_markdown(comparison));
  }
  if (output.err.empty() && !options.export_html.empty()) {
    // Each file is labelled with its name, the baseline first.
    std::vector<ReportSource> sources{{baseline.name, &views[0]}};
    for (std::size_t i = 0; i < candidates.size(); ++i) sources.push_back({candidates[i].name, &views[i + 1]});
    output.err = write_export(options.export_html, html_text(sources, report_date(std::time(nullptr)), &comparison));
  }
  if (output.err.empty() && !refusal.empty()) output.err = "truvello: " + refusal + "\n";
  if (!output.err.empty()) {
    output.exit_code = kExitFailed;
    return output;
  }
  if (gate_failed) {
    output.exit_code = kExitGateFailed;
    output.err = gate_lines(comparison, *options.fail_if_slower_percent);
  }
  return output;
}

}  // namespace truvello::cli
