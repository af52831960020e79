#include "output/markdown_report.h"

#include <cmath>

#include "output/capability_text.h"
#include "output/report_phrases.h"
#include "text/markdown_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

// The series of --repeat and --precision: the robust score with its interval
// and the runs that stood off.
std::string series_markdown(const InvocationView& invocation) {
  std::string out;
  for (const SeriesView& view : invocation.series) {
    if (!view.estimate) continue;
    const SeriesEstimate& e = *view.estimate;
    if (out.empty()) {
      out =
          "\n| Series | Runs | Score (ops/s) | 95 % interval | Capability (ops/s) | Precision | Disturbed runs | CV "
          "across runs |\n"
          "|:---|---:|---:|:---|---:|:---|:---|---:|\n";
    }
    const std::string interval = e.low ? si_number(*e.low) + " - " + si_number(*e.high) : "n/a";
    std::string precision = e.half_width_percent() ? "\u00B1" + percent_text(*e.half_width_percent()) : "n/a";
    if (const PrecisionRecord* p = view.precision) {
      precision += " (asked \u00B1" + percent_text(p->target_percent) + ", " + p->stopped + " in " +
                   length_text(std::round(p->elapsed_seconds)) + ")";
    }
    std::string disturbed;
    for (const DisturbedRun& d : e.disturbed) {
      disturbed += (disturbed.empty() ? "" : ", ") + std::string("run ") + std::to_string(view.run_of(d).repeat) +
                   " (" + signed_percent(d.off_percent) + ")";
    }
    out += "| " + std::string(BenchmarkKind{view.benchmark}.title()) + " | " + std::to_string(view.runs) + " | " +
           si_number(e.score) + " | " + interval + " | " + capability_cell(view.capability, "\u00B1") + " | " +
           precision + " | " + (disturbed.empty() ? "none" : disturbed) + " | " +
           (view.spread ? percent_text(view.spread->cv_percent) : std::string("n/a")) + " |\n";
  }
  return out;
}

}  // namespace

std::string markdown_text(const InvocationView& view) {
  const Invocation& invocation = view.source();
  std::string out =
      "| Benchmark | Status | Score (ops/s) | Capability (ops/s) | CV | Median | Min | Max | Workers | Measured | "
      "Operations | Samples |\n"
      "|:---|:---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const RunView& run_view : view.runs) {
    const RunOutcome& run = *run_view.run;
    const std::string status = status_with_reason(run.status, run.reason);
    std::string score = "n/a", cv = "n/a", med = "n/a", lo = "n/a", hi = "n/a";
    std::string workers = "0", measured = "n/a", ops = "0", samples = "0";
    if (run.result) {
      const truvello_result_record& r = *run.result;
      if (r.status == TRUVELLO_STATUS_COMPLETED) score = si_number(r.mean_rate);
      if (r.cv_valid != 0) cv = percent_text(r.cv_percent) + (r.unstable != 0 ? " (unstable)" : "");
      workers = std::to_string(r.workers);
      measured = seconds_text(r.measured_seconds);
      ops = grouped(r.total_ops);
      samples = std::to_string(r.sample_count);
    }
    if (const auto& stats = run_view.stats) {
      med = si_number(stats->median);
      lo = si_number(stats->min);
      hi = si_number(stats->max);
    }
    std::string title = run.kind().title();
    if (invocation.run_count(run.config.benchmark) > 1) title += ", run " + std::to_string(run.repeat);
    const std::string capability = score == "n/a" ? score : capability_cell(run_view.capability, "\u00B1");
    out += "| " + title + " | " + markdown_cell(status) + " | " + score + " | " + capability + " | " + cv + " | " +
           med + " | " + lo + " | " + hi + " | " + workers + " | " + measured + " | " + ops + " | " + samples + " |\n";
  }
  out += series_markdown(view);
  if (const auto& s = view.scaling) {
    out += "\nScaling efficiency: " + percent_text(s->efficiency * 100.0) + " (" + scaling_sentence(*s, "x") + ").\n";
  }
  return out;
}

}  // namespace truvello::cli
