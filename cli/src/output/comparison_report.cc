#include "output/comparison_report.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <vector>

#include "text/markdown_text.h"
#include "text/terminal_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

using nlohmann::json;

std::string three_places(double value) { return fmt::format("{:.3f}", value); }

}  // namespace

std::string change_text(double ratio) { return signed_percent((ratio - 1.0) * 100.0); }

std::string interval_text(const ComparisonRow& row) {
  if (!row.interval) return "n/a";
  return three_places(row.interval->low) + " - " + three_places(row.interval->high);
}

std::string verdict_text(Verdict verdict) {
  return verdict == Verdict::kSame ? "no significant difference" : verdict_key(verdict);
}

// The score with the runs it rests on: "(5 runs)", or "(4 of 5 runs)" when
// one was disturbed and left out.
std::string score_text(const Side& side) {
  std::string text = rate_text(side.score);
  if (side.kept() < side.runs) {
    text += " (" + std::to_string(side.kept()) + " of " + std::to_string(side.runs) + " runs)";
  } else if (side.runs > 1) {
    text += " (" + std::to_string(side.runs) + " runs)";
  }
  return text;
}

std::string ratio_text(double ratio) { return three_places(ratio); }

namespace {
json disturbed_json(const Side& side) {
  json list = json::array();
  if (!side.series) return list;
  for (const DisturbedRun& d : side.series->disturbed) {
    list.push_back(json{{"repeat", side.repeats.at(d.index)}, {"off_percent", d.off_percent}, {"z", d.z}});
  }
  return list;
}

}  // namespace

std::string comparison_table(const Comparison& comparison, bool colour) {
  const bool several = comparison.candidates.size() > 1;
  std::vector<std::vector<std::string>> cells;
  std::vector<std::string> header = {"benchmark", "baseline",      "candidate", "change",
                                     "ratio",     "95 % interval", "verdict"};
  if (several) header.insert(header.begin() + 1, "file");
  cells.push_back(header);
  for (const ComparisonRow& row : comparison.rows) {
    std::vector<std::string> line = {BenchmarkKind{row.benchmark}.title(),
                                     score_text(row.baseline),
                                     score_text(row.candidate_side),
                                     change_text(row.ratio),
                                     ratio_text(row.ratio),
                                     interval_text(row),
                                     verdict_text(row.verdict)};
    if (several) line.insert(line.begin() + 1, terminal_safe(row.candidate));
    cells.push_back(line);
  }
  std::vector<std::size_t> widths(header.size(), 0);
  for (const auto& line : cells) {
    for (std::size_t i = 0; i < line.size(); ++i) widths[i] = std::max(widths[i], display_width(line[i]));
  }

  // File names and notes (which quote file names, CPU models and reasons)
  // come from outside.
  std::string out = "baseline   " + terminal_safe(comparison.baseline) + "\n";
  for (const std::string& name : comparison.candidates) out += "candidate  " + terminal_safe(name) + "\n";
  out += "\n";
  for (std::size_t r = 0; r < cells.size(); ++r) {
    std::string line;
    for (std::size_t i = 0; i < cells[r].size(); ++i) {
      const std::string& cell = cells[r][i];
      const bool last = i + 1 == cells[r].size();
      // Figures are right-aligned so that their digits line up.
      const bool figure = i > 0 && i + 2 < cells[r].size() && !(several && i == 1);
      const std::string pad(widths[i] - display_width(cell), ' ');
      std::string shown = cell;
      if (colour && r > 0 && last) {
        const Verdict v = comparison.rows[r - 1].verdict;
        if (v == Verdict::kFaster) shown = "\x1b[32m" + cell + "\x1b[0m";
        if (v == Verdict::kSlower) shown = "\x1b[31m" + cell + "\x1b[0m";
      }
      line += figure ? pad + shown : shown + (last ? "" : pad);
      if (!last) line += "  ";
    }
    out += line + "\n";
  }
  if (!comparison.notes.empty()) {
    out += "\nnotes\n";
    for (const std::string& note : comparison.notes) out += "  - " + terminal_safe(note) + "\n";
  }
  return out;
}

json comparison_json(const Comparison& comparison, std::optional<double> fail_if_slower_percent,
                     std::optional<bool> gate_failed) {
  json rows = json::array();
  for (const ComparisonRow& row : comparison.rows) {
    rows.push_back(json{{"benchmark", BenchmarkKind{row.benchmark}.key()},
                        {"candidate", row.candidate},
                        {"baseline_score", row.baseline.score},
                        {"candidate_score", row.candidate_side.score},
                        {"baseline_runs", row.baseline.runs},
                        {"candidate_runs", row.candidate_side.runs},
                        {"baseline_kept", row.baseline.kept()},
                        {"candidate_kept", row.candidate_side.kept()},
                        {"baseline_disturbed", disturbed_json(row.baseline)},
                        {"candidate_disturbed", disturbed_json(row.candidate_side)},
                        {"ratio", row.ratio},
                        {"ci_low", row.interval ? json(row.interval->low) : json(nullptr)},
                        {"ci_high", row.interval ? json(row.interval->high) : json(nullptr)},
                        {"confidence", kConfidence},
                        {"verdict", verdict_key(row.verdict)},
                        {"method", row.method ? json(method_key(*row.method)) : json("none")},
                        {"scope", scope_key(row.scope)}});
  }
  json gate = nullptr;
  if (fail_if_slower_percent) {
    gate = json{{"fail_if_slower_percent", *fail_if_slower_percent},
                {"failed", gate_failed ? json(*gate_failed) : json(nullptr)}};
  }
  return json{{"baseline", comparison.baseline},
              {"candidates", comparison.candidates},
              {"comparisons", rows},
              {"notes", comparison.notes},
              {"gate", gate}};
}

std::string comparison_markdown(const Comparison& comparison) {
  std::string out = "Baseline: `" + markdown_cell(comparison.baseline) + "`\n\n";
  out +=
      "| Benchmark | Candidate | Baseline | Candidate score | Change | Ratio | 95 % interval | Verdict |\n"
      "|:---|:---|---:|---:|---:|---:|:---|:---|\n";
  for (const ComparisonRow& row : comparison.rows) {
    std::string verdict = verdict_text(row.verdict);
    if (row.verdict != Verdict::kSame) verdict = "**" + verdict + "**";
    out += "| " + std::string(BenchmarkKind{row.benchmark}.title()) + " | `" + markdown_cell(row.candidate) + "` | " +
           score_text(row.baseline) + " | " + score_text(row.candidate_side) + " | " + change_text(row.ratio) + " | " +
           ratio_text(row.ratio) + " | " + interval_text(row) + " | " + verdict + " |\n";
  }
  if (!comparison.notes.empty()) {
    out += "\n";
    for (const std::string& note : comparison.notes) out += "- " + markdown_cell(note) + "\n";
  }
  return out;
}

}  // namespace truvello::cli
