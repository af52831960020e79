#include "statistics/comparison.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <set>

#include "statistics/warnings.h"
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

std::string run_name(const RunOutcome& run, const Invocation& invocation) {
  std::string name = "the ";
  name += run.kind().title();
  name += " run";
  if (invocation.run_count(run.config.benchmark) > 1) {
    name += ' ';
    name += std::to_string(run.repeat);
  }
  return name;
}

// The completed runs of one benchmark in a file; the others are named in a
// note and left out.
std::vector<const RunOutcome*> usable_runs(const ComparedFile& file, std::uint32_t benchmark, Notes& notes) {
  std::vector<const RunOutcome*> runs;
  const Invocation& inv = file.saved.invocation;
  for (const RunOutcome& run : inv.runs) {
    if (run.config.benchmark != benchmark) continue;
    if (run.completed()) {
      runs.push_back(&run);
    } else {
      notes.add(file.name + ": " + run_name(run, inv) + " did not complete (" +
                status_with_reason(run.status, run.reason) + ") and is left out.");
    }
  }
  return runs;
}

// Everything about one file's runs that weakens a comparison.
void note_run_quality(const ComparedFile& file, const std::vector<const RunOutcome*>& runs, Notes& notes) {
  const Invocation& inv = file.saved.invocation;
  for (const RunOutcome* run : runs) {
    const double window = run->result->measurement_seconds;
    if (!(window >= kMinComparableWindow)) {
      notes.add(file.name + ": " + run_name(*run, inv) + " measured a window of " + length_text(window) +
                ", under the " + length_text(kMinComparableWindow) + " a comparable score needs.");
    }
    if (run->result->unstable != 0) {
      notes.add(file.name + ": " + run_name(*run, inv) + " was flagged unstable (" +
                percent_text(run->result->cv_percent) + " variation).");
    }
    std::vector<std::string> codes;
    for (const Warning& w : run_warnings(*run, inv.machine)) {
      if (w.code != "short_window" && w.code != "unstable") codes.push_back(w.code);
    }
    if (!codes.empty()) {
      std::string list;
      for (const std::string& code : codes) list += (list.empty() ? "" : ", ") + code;
      notes.add(file.name + ": " + run_name(*run, inv) + " carries warnings (" + list + "); `truvello report " +
                file.name + "` tells them.");
    }
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
SideEstimate estimate(const ComparedFile& file, const std::vector<const RunOutcome*>& runs, Notes& notes) {
  SideEstimate e;
  e.side.runs = runs.size();
  for (const RunOutcome* run : runs) e.side.repeats.push_back(run->repeat);
  e.side.score = runs.front()->result->mean_rate;
  if (runs.size() >= 2) {
    std::vector<double> scores;
    for (const RunOutcome* run : runs) scores.push_back(run->result->mean_rate);
    // Absent only for a score that is not positive, which the reader never
    // lets through; such a side then gets no interval.
    e.side.series = estimate_series(scores);
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
  ComparisonResult result;
  Comparison c;
  c.baseline = baseline.name;
  Notes notes;
  for (const ComparedFile& cand : candidates) {
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
      note_run_quality(baseline, base_runs, notes);
      note_run_quality(cand, cand_runs, notes);
      const SideEstimate b = estimate(baseline, base_runs, notes);
      const SideEstimate k = estimate(cand, cand_runs, notes);
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
