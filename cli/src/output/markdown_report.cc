#include "output/markdown_report.h"

#include <cstdio>

#include "output/units.h"
#include "stats/rate_stats.h"

namespace truvello::cli {

namespace {

// Reason texts are library phrases, but a pipe would still break the table.
std::string cell(std::string text) {
  std::string out;
  for (char c : text) {
    if (c == '|')
      out += "\\|";
    else if (c == '\n' || c == '\r')
      out += ' ';
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string markdown_text(const Invocation& invocation) {
  std::string out =
      "| Benchmark | Status | Score (ops/s) | CV | Median | Min | Max | Workers | Measured | "
      "Operations | Samples |\n"
      "|:---|:---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
  for (const RunOutcome& run : invocation.runs) {
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
    if (const auto stats = rate_stats(run.samples)) {
      med = si_number(stats->median);
      lo = si_number(stats->min);
      hi = si_number(stats->max);
    }
    std::string title = run.kind().title();
    if (invocation.run_count(run.config.benchmark) > 1) title += ", run " + std::to_string(run.repeat);
    out += "| " + title + " | " + cell(status) + " | " + score + " | " + cv + " | " + med + " | " + lo + " | " + hi +
           " | " + workers + " | " + measured + " | " + ops + " | " + samples + " |\n";
  }
  if (const auto s = invocation.scaling()) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "\nScaling efficiency: %s (all CPUs ran %.2f x the single rate with %u workers).\n",
                  percent_text(s->efficiency * 100.0).c_str(), s->speedup, static_cast<unsigned>(s->workers));
    out += line;
  }
  return out;
}

}  // namespace truvello::cli
