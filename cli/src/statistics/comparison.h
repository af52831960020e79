#pragma once

// Saved runs against a baseline: per benchmark and candidate, the scores, the
// ratio with its interval and a verdict, and one sentence for everything
// that makes the comparison less clean than it looks.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/saved_export.h"
#include "statistics/invocation_view.h"
#include "statistics/score_inference.h"
#include "statistics/series_estimate.h"

namespace truvello::cli {

// A document with the name it was given on the command line.
struct ComparedFile {
  std::string name;
  SavedExport saved;
};

// One side of one row: the score shown and how many completed runs it rests
// on. With several runs the score is the series estimate (the geometric mean
// of the runs not disturbed), the centre of the interval; with one, the
// run's own score.
struct Side {
  double score = 0.0;
  std::size_t runs = 0;
  // The repeat number of each completed run, in order: a disturbed run's
  // index points here.
  std::vector<std::uint32_t> repeats;
  std::optional<SeriesEstimate> series;  // with two or more completed runs

  // The runs the score rests on: all of them but the disturbed ones.
  std::size_t kept() const { return series ? series->kept : runs; }
};

// What a row's verdict speaks for: the series on each side, or only the
// runs compared, when a side has one run, which cannot show how far the next
// would differ.
enum class Scope { kSeries, kTheseRuns };
const char* scope_key(Scope scope);  // "series", "these runs"

struct ComparisonRow {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  std::string candidate;  // the candidate's file name
  Side baseline;
  Side candidate_side;
  double ratio = 1.0;  // candidate / baseline
  // Absent when a side has too few whole seconds for one; the verdict is
  // then "same": nothing shows a difference.
  std::optional<RatioInterval> interval;
  Verdict verdict = Verdict::kSame;
  std::optional<Method> method;  // absent without an interval
  Scope scope = Scope::kTheseRuns;
};

struct Comparison {
  std::string baseline;  // file names, as given
  std::vector<std::string> candidates;
  std::vector<ComparisonRow> rows;  // per candidate, single then all-CPUs
  std::vector<std::string> notes;   // one sentence each, no repeats
};

// Either the comparison or one line on why the files cannot be compared
// (a candidate shares no benchmark with a completed run with the baseline).
struct ComparisonResult {
  std::optional<Comparison> comparison;
  std::string error;
};

ComparisonResult compare_exports(const ComparedFile& baseline, const std::vector<ComparedFile>& candidates);
// The same, reading each file's figures from its view, derived once by the
// caller so that the pages drawn after it show the same ones: the
// baseline's view first, then one per candidate, in order.
ComparisonResult compare_exports(const ComparedFile& baseline, const std::vector<ComparedFile>& candidates,
                                 std::span<const InvocationView> views);

// The gate: a candidate significantly slower than the baseline, by more than
// `percent` percent of the baseline's score.
bool gate_fails(const Comparison& comparison, double percent);

}  // namespace truvello::cli
