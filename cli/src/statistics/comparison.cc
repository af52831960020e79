#include "statistics/comparison.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <set>
#include <stdexcept>

#include "statistics/invocation_view.h"
#include "statistics/warnings.h"
#include "text/run_list.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

constexpr std::uint32_t kBenchmarks[] = {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS};

// Notes in the order they were found, each once.
class Notes {
 public:
  void add(std::string note) {
    if (seen_.insert(note).second) list_.push_back(std::move(note));
  }
  std::vector<std::string> take() { return std::move(list_); }

 private:
  std::set<std::string> seen_;
  std::vector<std::string> list_;
};

// The runs a note is about, as its subject: "the single worker run" of a
// benchmark that ran once; in a series "the single worker run 2", or "the
// single worker runs 1-4" when the note speaks for several at once.
struct Subject {
  std::string text;
  bool several = false;  // the verb agrees with it
};

Subject subject_of(const Invocation& invocation, const std::vector<const RunOutcome*>& runs) {
  const std::uint32_t benchmark = runs.front()->config.benchmark;
  Subject s{std::string("the ") + BenchmarkKind{benchmark}.title(), false};
  if (invocation.run_count(benchmark) <= 1) {
    s.text += " run";
    return s;
  }
  std::vector<std::uint32_t> repeats;
  for (const RunOutcome* run : runs) repeats.push_back(run->repeat);
  std::sort(repeats.begin(), repeats.end());
  s.several = std::unique(repeats.begin(), repeats.end()) - repeats.begin() > 1;
  s.text += ' ';
  s.text += run_list_text(repeats);
  return s;
}

std::string run_name(const RunOutcome& run, const Invocation& invocation) {
  return subject_of(invocation, {&run}).text;
}

// Texts in the order first seen, each once, joined by `separator`.
std::string distinct_joined(const std::vector<std::string>& texts, const char* separator) {
  std::vector<std::string> seen;
  std::string out;
  for (const std::string& t : texts) {
    if (std::find(seen.begin(), seen.end(), t) != seen.end()) continue;
    out += (seen.empty() ? "" : separator) + t;
    seen.push_back(t);
  }
  return out;
}

// A figure of several runs: "2 s" when they agree as shown, else the lowest
// to the highest, "2 s to 3 s".
std::string range_text(const std::vector<double>& values, std::string (*text)(double)) {
  const auto [lo, hi] = std::minmax_element(values.begin(), values.end());
  const std::string low = text(*lo), high = text(*hi);
  return low == high ? low : low + " to " + high;
}

// The completed runs of one benchmark in a file; the others are named in a
// note and left out.
std::vector<const RunOutcome*> usable_runs(const ComparedFile& file, std::uint32_t benchmark, Notes& notes) {
  std::vector<const RunOutcome*> runs;
  std::vector<const RunOutcome*> unfinished;
  std::vector<std::string> reasons;
  const Invocation& inv = file.saved.invocation;
  for (const RunOutcome& run : inv.runs) {
    if (run.config.benchmark != benchmark) continue;
    if (run.completed()) {
      runs.push_back(&run);
    } else {
      unfinished.push_back(&run);
      reasons.push_back(status_with_reason(run.status, run.reason));
    }
  }
  if (!unfinished.empty()) {
    const Subject s = subject_of(inv, unfinished);
    notes.add(file.name + ": " + s.text + " did not complete (" + distinct_joined(reasons, "; ") + ") and " +
              (s.several ? "are" : "is") + " left out.");
  }
  return runs;
}

// The warnings of several runs: the codes all of them carry, then each other
// code with the runs that carry it, "cpu_wait, busy; drift in runs 2 and 3".
std::string codes_text(const std::vector<std::vector<std::string>>& codes_per_run,
                       const std::vector<const RunOutcome*>& runs) {
  std::vector<std::string> order;
  for (const auto& codes : codes_per_run) {
    for (const std::string& code : codes) {
      if (std::find(order.begin(), order.end(), code) == order.end()) order.push_back(code);
    }
  }
  std::string shared;
  std::string partial;
  for (const std::string& code : order) {
    std::vector<std::uint32_t> carriers;
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const auto& codes = codes_per_run[i];
      if (std::find(codes.begin(), codes.end(), code) != codes.end()) carriers.push_back(runs[i]->repeat);
    }
    if (carriers.size() == runs.size()) {
      shared += (shared.empty() ? "" : ", ") + code;
    } else {
      partial += (partial.empty() ? "" : "; ") + code + " in " + run_list_text(carriers);
    }
  }
  return shared + (shared.empty() || partial.empty() ? "" : "; ") + partial;
}

// Everything about one file's runs of a benchmark that weakens a comparison:
// one note per fact, naming every run it concerns.
void note_run_quality(const ComparedFile& file, const InvocationView& view, const std::vector<const RunOutcome*>& runs,
                      Notes& notes) {
  const Invocation& inv = file.saved.invocation;
  std::vector<const RunOutcome*> short_runs, unstable_runs, warned_runs;
  std::vector<double> windows, cvs;
  std::vector<std::vector<std::string>> warned_codes;
  for (const RunOutcome* run : runs) {
    const double window = run->result->measurement_seconds;
    if (!(window >= kMinComparableWindow)) {
      short_runs.push_back(run);
      windows.push_back(window);
    }
    if (run->result->unstable != 0) {
      unstable_runs.push_back(run);
      cvs.push_back(run->result->cv_percent);
    }
    std::vector<std::string> codes;
    for (const Warning& w : view.of(*run).warnings) {
      if (w.code != "short_window" && w.code != "unstable") codes.push_back(w.code);
    }
    if (!codes.empty()) {
      warned_runs.push_back(run);
      warned_codes.push_back(std::move(codes));
    }
  }
  if (!short_runs.empty()) {
    const Subject s = subject_of(inv, short_runs);
    notes.add(file.name + ": " + s.text + " measured " + (s.several ? "windows of " : "a window of ") +
              range_text(windows, length_text) + ", under the " + length_text(kMinComparableWindow) +
              " a comparable score needs.");
  }
  if (!unstable_runs.empty()) {
    const Subject s = subject_of(inv, unstable_runs);
    notes.add(file.name + ": " + s.text + (s.several ? " were" : " was") + " flagged unstable (" +
              range_text(cvs, percent_text) + " variation).");
  }
  if (!warned_runs.empty()) {
    const Subject s = subject_of(inv, warned_runs);
    // One run's codes as it recorded them; several runs' each once.
    std::string list;
    if (warned_runs.size() == 1) {
      for (const std::string& code : warned_codes.front()) list += (list.empty() ? "" : ", ") + code;
    } else {
      list = codes_text(warned_codes, warned_runs);
    }
    notes.add(file.name + ": " + s.text + (s.several ? " carry" : " carries") + " warnings (" + list +
              "); `truvello report " + file.name + "` tells them.");
  }
}

// A run left out of its side's score and how far it stood off, in one
// place so that what the machine was seen doing during the run can join it.
std::string disturbed_note(const ComparedFile& file, const RunOutcome& run, const DisturbedRun& disturbed) {
  return file.name + ": " + run_name(run, file.saved.invocation) + " stood " + off_text(disturbed.off_percent) +
         fmt::format(" the series' score (z {:.1f}) and is left out of it", disturbed.z) + observation_aside(run) + ".";
}

void note_machines(const ComparedFile& base, const ComparedFile& cand, Notes& notes) {
  const Invocation& a = base.saved.invocation;
  const Invocation& b = cand.saved.invocation;
  if (a.library_version != b.library_version) {
    notes.add("The library versions differ (" + a.library_version + " in " + base.name + ", " + b.library_version +
              " in " + cand.name + "): the workload may differ, so the scores may not be comparable.");
  }
  const auto model = [](const std::string& m) { return m.empty() ? std::string("unknown") : m; };
  if (a.machine.cpu_model != b.machine.cpu_model) {
    notes.add("The CPU models differ (" + model(a.machine.cpu_model) + " in " + base.name + ", " +
              model(b.machine.cpu_model) + " in " + cand.name + "), as expected when comparing machines.");
  }
  if (a.machine.online_cpus != b.machine.online_cpus) {
    notes.add("The CPU counts differ (" + std::to_string(a.machine.online_cpus) + " in " + base.name + ", " +
              std::to_string(b.machine.online_cpus) + " in " + cand.name +
              "): the all-CPU scores compare machines, not settings.");
  }
}

// A side's score and the estimate of its log with its variance.
struct SideEstimate {
  Side side;
  std::optional<LogScore> log_score;
  bool from_runs = false;
};

// Two or more runs: the series estimate, which a disturbed run cannot move.
// One: the run's own score with batch means over its samples.
SideEstimate estimate(const ComparedFile& file, const InvocationView& view, const std::vector<const RunOutcome*>& runs,
                      Notes& notes) {
  SideEstimate e;
  e.side.runs = runs.size();
  for (const RunOutcome* run : runs) e.side.repeats.push_back(run->repeat);
  e.side.score = runs.front()->result->mean_rate;
  if (runs.size() >= 2) {
    // The series every other output shows of the file: its estimate rests
    // on the same completed runs, in the same order. Absent only for a score
    // that is not positive, which the reader never lets through; such a side
    // then gets no interval.
    if (const SeriesView* series = view.series_of(runs.front()->config.benchmark)) e.side.series = series->estimate;
    if (e.side.series) {
      e.side.score = e.side.series->score;
      e.log_score = e.side.series->log_score;
      for (const DisturbedRun& d : e.side.series->disturbed) notes.add(disturbed_note(file, *runs[d.index], d));
    }
    e.from_runs = true;
  } else {
    e.log_score = batch_means(runs.front()->samples, e.side.score);
  }
  return e;
}

}  // namespace

const char* scope_key(Scope scope) { return scope == Scope::kSeries ? "series" : "these runs"; }

ComparisonResult compare_exports(const ComparedFile& baseline, const std::vector<ComparedFile>& candidates) {
  std::vector<InvocationView> views{view_of(baseline.saved.invocation)};
  for (const ComparedFile& cand : candidates) views.push_back(view_of(cand.saved.invocation));
  return compare_exports(baseline, candidates, views);
}

ComparisonResult compare_exports(const ComparedFile& baseline, const std::vector<ComparedFile>& candidates,
                                 std::span<const InvocationView> views) {
  if (views.size() != candidates.size() + 1) throw std::logic_error("a view for each compared file is needed");
  ComparisonResult result;
  Comparison c;
  c.baseline = baseline.name;
  Notes notes;
  const InvocationView& base_view = views[0];
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const ComparedFile& cand = candidates[i];
    const InvocationView& cand_view = views[i + 1];
    c.candidates.push_back(cand.name);
    note_machines(baseline, cand, notes);
    std::size_t compared = 0;
    for (const std::uint32_t benchmark : kBenchmarks) {
      const BenchmarkKind kind{benchmark};
      const auto base_runs = usable_runs(baseline, benchmark, notes);
      const auto cand_runs = usable_runs(cand, benchmark, notes);
      if (base_runs.empty() || cand_runs.empty()) {
        if (!base_runs.empty() || !cand_runs.empty()) {
          const std::string& has = base_runs.empty() ? cand.name : baseline.name;
          const std::string& lacks = base_runs.empty() ? baseline.name : cand.name;
          notes.add(std::string("The ") + kind.title() + " benchmark has a completed run in " + has + " but none in " +
                    lacks + ", so it is not compared.");
        }
        continue;
      }
      note_run_quality(baseline, base_view, base_runs, notes);
      note_run_quality(cand, cand_view, cand_runs, notes);
      const SideEstimate b = estimate(baseline, base_view, base_runs, notes);
      const SideEstimate k = estimate(cand, cand_view, cand_runs, notes);
      ComparisonRow row;
      row.benchmark = benchmark;
      row.candidate = cand.name;
      row.baseline = b.side;
      row.candidate_side = k.side;
      row.ratio = k.side.score / b.side.score;
      row.scope = b.from_runs && k.from_runs ? Scope::kSeries : Scope::kTheseRuns;
      if (row.scope == Scope::kTheseRuns) {
        const std::string least = std::to_string(kMinSeriesRuns);
        notes.add(
            "With one run on a side, a verdict is about these runs only: one run cannot show how far the next "
            "would differ. For a verdict on what they ran on, record at least " +
            least + " runs a side (--repeat " + least + " or --precision PCT).");
      }
      if (b.log_score && k.log_score) {
        row.interval = compare_log_scores(*b.log_score, *k.log_score);
        row.ratio = row.interval->ratio;
        row.verdict = row.interval->verdict;
        row.method = b.from_runs && k.from_runs     ? Method::kRunScores
                     : !b.from_runs && !k.from_runs ? Method::kBatchMeans
                                                    : Method::kMixed;
      } else {
        const SideEstimate& short_side = b.log_score ? k : b;
        const std::string& name = b.log_score ? cand.name : baseline.name;
        notes.add(short_side.from_runs ? std::string("The ") + kind.title() + " runs of " + name +
                                             " have no usable scores: no interval, and no verdict but \"same\"."
                                       : std::string("The ") + kind.title() + " run of " + name + " has fewer than " +
                                             std::to_string(kMinBatches * kMinBatchSeconds) +
                                             " whole seconds of samples: no interval, and no verdict but \"same\".");
      }
      c.rows.push_back(row);
      ++compared;
    }
    if (compared == 0) {
      result.error = baseline.name + " and " + cand.name + " have no benchmark with a completed run in common";
      return result;
    }
  }
  c.notes = notes.take();
  result.comparison = std::move(c);
  return result;
}

bool gate_fails(const Comparison& comparison, double percent) {
  return std::any_of(comparison.rows.begin(), comparison.rows.end(), [percent](const ComparisonRow& row) {
    return row.verdict == Verdict::kSlower && row.ratio < 1.0 - percent / 100.0;
  });
}

}  // namespace truvello::cli
