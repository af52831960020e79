#include "summary.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "rate_stats.h"
#include "units.h"
#include "warnings.h"

namespace truvello::cli {

namespace {

constexpr std::size_t kLabelWidth = 13;
constexpr std::size_t kSparkWidth = 60;

std::string row(const std::string &label, const std::string &value) {
  std::string line = "  " + label;
  line.append(kLabelWidth > label.size() ? kLabelWidth - label.size() : 1, ' ');
  return line + value + "\n";
}

std::string warning_row(const Warning &w, Glyphs glyphs) {
  return std::string("  ") + (glyphs == Glyphs::kBlocks ? "\u26A0 " : "! ") + w.message + "\n";
}

std::string signed_percent(double percent) {
  std::string text = percent > 0.0 ? "+" : percent < 0.0 ? "-" : "";
  return text += percent_text(std::fabs(percent));
}

std::string machine_line(const MachineContext &m) {
  std::string line = m.cpu_model.empty() ? std::string("unknown CPU") : m.cpu_model;
  line += " \u00B7 " + std::to_string(m.online_cpus) + " CPUs online";
  const double usable = m.usable_cpus();
  if (usable < static_cast<double>(m.online_cpus)) {
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.3g", usable);
    line += std::string(", ") + figure + " usable";
  }
  if (!m.kernel.empty()) line += " \u00B7 " + m.kernel;
  return line + "\n";
}

std::string run_block(const RunOutcome &run, std::size_t index, Glyphs glyphs) {
  std::string out = "benchmark " + std::to_string(run.config.benchmark) + " \u00B7 " +
                    run.kind().title() + "\n";
  if (index > 0) out = "\n" + out;
  if (!run.result) {
    return out + row("Status", std::string(status_text(run.status)) + ": " + run.reason);
  }
  const truvello_result_record &r = *run.result;
  if (r.status == TRUVELLO_STATUS_COMPLETED) {
    out += row("Score", rate_text(r.mean_rate));
    if (r.cv_valid != 0) {
      std::string variation = percent_text(r.cv_percent) + " CV";
      if (r.unstable != 0) variation += "   UNSTABLE: above 10 %, the score is not reliable";
      out += row("Variation", variation);
    } else {
      out += row("Variation", "n/a (fewer than 2 samples)");
    }
  } else {
    out += row("Status", std::string(status_text(r.status)) + ": " + run.reason);
    if (r.workers == 0) return out;
  }
  if (const auto stats = rate_stats(run.samples)) {
    out += row("Per second", "median " + si_number(stats->median) + " \u00B7 min " +
                                 si_number(stats->min) + " \u00B7 max " + si_number(stats->max));
    std::vector<double> rates;
    for (const truvello_sample_record &s : steady_samples(run.samples)) rates.push_back(s.rate);
    std::string trend = sparkline(rates, kSparkWidth, glyphs);
    if (stats->drift_percent) trend += "   drift " + signed_percent(*stats->drift_percent);
    out += row("Trend", trend);
  }
  char window[160];
  std::snprintf(window, sizeof window, "%s of %s, after %s warm-up",
                seconds_text(r.measured_seconds).c_str(), length_text(r.measurement_seconds).c_str(),
                length_text(r.warmup_seconds).c_str());
  out += row("Measured", window);
  out += row("Workers", std::to_string(r.workers));
  out += row("Operations", grouped(r.total_ops));
  out += row("Samples", std::to_string(r.sample_count));
  out += row("Checksum", hex64(r.checksum));
  return out;
}

}  // namespace

std::string summary_text(const Invocation &invocation, Glyphs glyphs) {
  std::string out = "truvello " + invocation.command_version + " \u00B7 library " +
                    invocation.library_version + " (interface " +
                    std::to_string(invocation.abi_version) + ")\n";
  out += machine_line(invocation.machine) + "\n";

  std::vector<Warning> machine_wide;
  std::set<std::string> seen;
  for (std::size_t i = 0; i < invocation.runs.size(); ++i) {
    const RunOutcome &run = invocation.runs[i];
    out += run_block(run, i, glyphs);
    for (const Warning &w : run_warnings(run, invocation.machine)) {
      if (!w.machine_wide) {
        out += warning_row(w, glyphs);
      } else if (seen.insert(w.code).second) {
        machine_wide.push_back(w);
      }
    }
  }

  if (const auto s = invocation.scaling()) {
    char line[160];
    std::snprintf(line, sizeof line, "%s   (all CPUs ran %.2f %s the single rate with %u workers)",
                  percent_text(s->efficiency * 100.0).c_str(), s->speedup,
                  glyphs == Glyphs::kBlocks ? "\u00D7" : "x", static_cast<unsigned>(s->workers));
    out += "\nscaling\n" + row("Efficiency", line);
  }
  if (!machine_wide.empty()) {
    out += "\nmachine\n";
    for (const Warning &w : machine_wide) out += warning_row(w, glyphs);
  }
  return out;
}

}  // namespace truvello::cli
