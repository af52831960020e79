#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "statistics/comparison.h"

namespace truvello::cli {

// The comparison as an aligned table for a terminal: one row per benchmark
// and candidate, then the notes. `colour` marks the verdicts (green faster,
// red slower) with escape codes; the caller decides whether the output is a
// terminal that wants them.
std::string comparison_table(const Comparison& comparison, bool colour);

// The comparison as one JSON document. Per row at least: benchmark,
// candidate, baseline_score, candidate_score, ratio, ci_low, ci_high (null
// without an interval), verdict ("faster", "slower", "same"), method, scope
// ("series", "these runs"), and per side the runs, the runs kept and the
// disturbed runs. `gate_failed` is absent when the gate refused to judge.
nlohmann::json comparison_json(const Comparison& comparison, std::optional<double> fail_if_slower_percent,
                               std::optional<bool> gate_failed);

// The words of one row, the same in every format.
std::string change_text(double ratio);                // "+10.0 %", "-4.20 %"
std::string ratio_text(double ratio);                 // "1.100"
std::string interval_text(const ComparisonRow& row);  // "1.080 - 1.120", or "n/a"
std::string verdict_text(Verdict verdict);            // "faster", "slower", "no significant difference"
std::string score_text(const Side& side);             // "30.0 M ops/s (5 runs)"

// A Markdown table with the notes below it, for a pull-request comment.
std::string comparison_markdown(const Comparison& comparison);

}  // namespace truvello::cli
