#include "output/summary.h"

#include <cmath>
#include <cstdio>
#include <set>
#include <vector>

#include "output/units.h"
#include "stats/rate_stats.h"
#include "stats/run_series.h"
#include "stats/warnings.h"

namespace truvello::cli {

namespace {

constexpr std::size_t kLabelWidth = 13;
constexpr std::size_t kSparkWidth = 60;
constexpr std::size_t kTextWidth = 80;

// The few characters that differ between a UTF-8 terminal and plain ASCII.
struct Style {
  Glyphs glyphs;
  const char* dot;    // separates figures on one line
  const char* times;  // "n times the rate"
  const char* mark;   // in front of a warning

  explicit Style(Glyphs g)
      : glyphs(g),
        dot(g == Glyphs::kBlocks ? " \u00B7 " : ", "),
        times(g == Glyphs::kBlocks ? "\u00D7" : "x"),
        mark(g == Glyphs::kBlocks ? "\u26A0 " : "! ") {}
};

std::string row(const std::string& label, const std::string& value) {
  std::string line = "  " + label;
  line.append(kLabelWidth > label.size() ? kLabelWidth - label.size() : 1, ' ');
  return line + value + "\n";
}

// Breaks a sentence at spaces so that no line is wider than kTextWidth,
// continuation lines indented under the first word.
std::string wrapped(const std::string& first_prefix, const std::string& text) {
  const std::string indent(first_prefix.size() - (first_prefix.size() > 4 ? 2 : 0), ' ');
  const std::size_t indent_width = indent.size();
  std::string out = first_prefix;
  std::size_t column = indent_width;
  std::size_t pos = 0;
  bool first_word = true;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find(' ', pos), text.size());
    const std::string word = text.substr(pos, end - pos);
    pos = end + 1;
    if (word.empty()) continue;
    if (!first_word && column + 1 + word.size() > kTextWidth) {
      out += "\n" + indent;
      column = indent_width;
    } else if (!first_word) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    first_word = false;
  }
  return out + "\n";
}

std::string warning_row(const Warning& w, const Style& style) {
  return wrapped(std::string("  ") + style.mark, w.message);
}

std::string signed_percent(double percent) {
  std::string text = percent > 0.0 ? "+" : percent < 0.0 ? "-" : "";
  return text += percent_text(std::fabs(percent));
}

std::string machine_line(const MachineContext& m, const Style& style) {
  std::string line = m.cpu_model.empty() ? std::string("unknown CPU") : m.cpu_model;
  line += style.dot + std::to_string(m.online_cpus) + " CPUs online";
  const double usable = m.usable_cpus();
  if (usable < static_cast<double>(m.online_cpus)) {
    char figure[32];
    std::snprintf(figure, sizeof figure, "%.3g", usable);
    line += std::string(", ") + figure + " usable";
  }
  if (!m.os_kernel.empty()) line += style.dot + m.os_kernel;
  return line + "\n";
}

std::string run_block(const RunOutcome& run, bool in_series, const Style& style) {
  std::string out = "benchmark " + std::to_string(run.config.benchmark) + style.dot + run.kind().title();
  if (in_series) out += std::string(style.dot) + "run " + std::to_string(run.repeat);
  out += "\n";
  if (!run.result) {
    return out + row("Status", status_with_reason(run.status, run.reason));
  }
  const truvello_result_record& r = *run.result;
  if (r.status == TRUVELLO_STATUS_COMPLETED) {
    out += row("Score", rate_text(r.mean_rate));
    if (r.cv_valid != 0) {
      std::string variation = percent_text(r.cv_percent) + " CV";
      if (r.unstable != 0) {
        variation += "   UNSTABLE: above " + limit_percent_text(kUnstableCvPercent) + ", the score is not reliable";
      }
      out += row("Variation", variation);
    } else {
      out += row("Variation", "n/a (fewer than 2 samples)");
    }
  } else {
    out += row("Status", status_with_reason(r.status, run.reason));
    if (r.workers == 0) return out;
  }
  if (const auto stats = rate_stats(run.samples)) {
    out += row("Per second", "median " + si_number(stats->median) + style.dot + "min " + si_number(stats->min) +
                                 style.dot + "max " + si_number(stats->max));
    std::vector<double> rates;
    for (const truvello_sample_record& s : steady_samples(run.samples)) rates.push_back(s.rate);
    std::string trend = sparkline(rates, kSparkWidth, style.glyphs);
    if (stats->drift_percent) trend += "   drift " + signed_percent(*stats->drift_percent);
    out += row("Trend", trend);
  }
  out += row("Measured", seconds_text(r.measured_seconds) + " of " + length_text(r.measurement_seconds) + ", after " +
                             length_text(r.warmup_seconds) + " warm-up");
  out += row("Workers", std::to_string(r.workers));
  out += row("Operations", grouped(r.total_ops));
  out += row("Samples", std::to_string(r.sample_count));
  out += row("Checksum", hex64(r.checksum));
  return out;
}

// The median score of a benchmark's series and how far its runs spread.
std::string series_block(const Invocation& invocation, std::uint32_t benchmark, const Style& style) {
  const std::vector<double> scores = completed_scores(invocation, benchmark);
  const auto stats = series_stats(scores);
  if (!stats) return "";
  const BenchmarkKind kind{benchmark};
  std::string out =
      std::string("\nseries") + style.dot + kind.title() + style.dot + std::to_string(stats->runs) + " runs\n";
  out += row("Median", rate_text(stats->median));
  out += row("Spread", "min " + si_number(stats->min) + style.dot + "max " + si_number(stats->max) + style.dot +
                           percent_text(stats->cv_percent) + " CV across runs");
  return out;
}

}  // namespace

std::string summary_text(const Invocation& invocation, Glyphs glyphs) {
  const Style style(glyphs);
  std::string out = "truvello " + invocation.command_version + style.dot + "library " + invocation.library_version +
                    " (interface " + std::to_string(invocation.abi_version) + ")\n";
  out += machine_line(invocation.machine, style);

  std::vector<Warning> machine_wide;
  std::set<std::string> seen;
  for (const RunOutcome& run : invocation.runs) {
    out += '\n';
    out += run_block(run, invocation.run_count(run.config.benchmark) > 1, style);
    for (const Warning& w : run_warnings(run, invocation.machine)) {
      if (!w.machine_wide) {
        out += warning_row(w, style);
      } else if (seen.insert(w.code).second) {
        machine_wide.push_back(w);
      }
    }
  }

  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    out += series_block(invocation, benchmark, style);
  }
  if (const auto s = invocation.scaling()) {
    char detail[128];
    std::snprintf(detail, sizeof detail, "   (all CPUs ran %.2f %s the single rate with %u workers)", s->speedup,
                  style.times, static_cast<unsigned>(s->workers));
    out += "\nscaling\n" + row("Efficiency", percent_text(s->efficiency * 100.0) + detail);
  }
  if (!machine_wide.empty()) {
    out += "\nmachine\n";
    for (const Warning& w : machine_wide) out += warning_row(w, style);
  }
  return out;
}

}  // namespace truvello::cli
