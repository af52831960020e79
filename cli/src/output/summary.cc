#include "output/summary.h"

#include <fmt/format.h>
#include <algorithm>
#include <cmath>
#include <vector>

#include "output/capability_text.h"
#include "output/report_phrases.h"
#include "statistics/rate_stats.h"
#include "statistics/warnings.h"
#include "text/terminal_text.h"
#include "text/units.h"

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
  const char* plus_minus;

  explicit Style(Glyphs g)
      : glyphs(g),
        dot(g == Glyphs::kBlocks ? " \u00B7 " : ", "),
        times(g == Glyphs::kBlocks ? "\u00D7" : "x"),
        mark(g == Glyphs::kBlocks ? "\u26A0 " : "! "),
        plus_minus(g == Glyphs::kBlocks ? "\u00B1" : "+/-") {}
};

// Every value may hold text from outside (a reason, a saved file's
// warnings, the machine's names): it is made harmless where it is laid out.
std::string row(const std::string& label, const std::string& value) {
  std::string line = "  " + label;
  line.append(kLabelWidth > label.size() ? kLabelWidth - label.size() : 1, ' ');
  return line + terminal_safe(value) + "\n";
}

// Breaks a sentence at spaces so that no line is wider than kTextWidth,
// continuation lines indented under the first word.
std::string wrapped(const std::string& first_prefix, const std::string& outside_text, std::size_t indent_width) {
  const std::string text = terminal_safe(outside_text);
  const std::string indent(indent_width, ' ');
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
  // The mark is one column wide whatever its bytes.
  return wrapped(std::string("  ") + style.mark, w.message, 4);
}

// A row whose value may run over several lines, each under the first.
std::string wrapped_row(const std::string& label, const std::string& text) {
  std::string prefix = "  " + label;
  prefix.append(kLabelWidth > label.size() ? kLabelWidth - label.size() : 1, ' ');
  return wrapped(prefix, text, prefix.size());
}

std::string run_block(const RunView& view, bool in_series, const Style& style) {
  const RunOutcome& run = *view.run;
  std::string out = "benchmark " + std::to_string(run.config.benchmark) + style.dot + run.kind().title();
  if (in_series) out += std::string(style.dot) + "run " + std::to_string(run.repeat);
  out += "\n";
  if (!run.result) {
    return out + row("Status", status_with_reason(run.status, run.reason));
  }
  const truvello_result_record& r = *run.result;
  if (r.status == TRUVELLO_STATUS_COMPLETED) {
    out += row("Score", rate_text(r.mean_rate));
    out +=
        wrapped_row("Capability", capability_text(view.capability, style.plus_minus, kernel_reported(view.warnings)));
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
  if (const auto& stats = view.stats) {
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

std::string run_list(const std::vector<std::uint32_t>& repeats) {
  std::string out = repeats.size() == 1 ? "run " : "runs ";
  for (std::size_t i = 0; i < repeats.size(); ++i) out += (i == 0 ? "" : ", ") + std::to_string(repeats[i]);
  return out;
}

// Why a --precision series stopped short of its goal: the runs that stood
// off, the warnings its runs carried, or, failing those, the plain spread.
std::string moved_by(const SeriesView& view, const InvocationView& invocation) {
  std::vector<std::string> causes;
  if (view.estimate && !view.estimate->disturbed.empty()) {
    std::vector<std::uint32_t> repeats;
    for (const DisturbedRun& d : view.estimate->disturbed) repeats.push_back(view.run_of(d).repeat);
    causes.push_back(run_list(repeats) + " stood off the others");
  }
  std::vector<std::string> codes;
  std::vector<std::uint32_t> warned;
  for (const RunOutcome* run : view.completed) {
    bool any = false;
    for (const Warning& w : invocation.of(*run).warnings) {
      if (w.machine_wide || w.code == "short_window") continue;
      any = true;
      if (std::find(codes.begin(), codes.end(), w.code) == codes.end()) codes.push_back(w.code);
    }
    if (any) warned.push_back(run->repeat);
  }
  if (!codes.empty()) {
    std::string list;
    for (const std::string& code : codes) list += (list.empty() ? "" : ", ") + code;
    causes.push_back(run_list(warned) + " carried warnings (" + list + ")");
  }
  if (view.spread) {
    causes.push_back("the runs spread by " + percent_text(view.spread->cv_percent) + " CV" +
                     (causes.empty() ? ", with nothing the OS kernel reported to explain it" : ""));
  }
  std::string out;
  for (const std::string& c : causes) out += (out.empty() ? "" : "; ") + c;
  return out;
}

// A benchmark's series: its robust score with the interval, how a
// --precision series ended, the runs that stood off, and the plain spread.
std::string series_block(const InvocationView& invocation, const SeriesView& view, const Style& style) {
  if (!view.estimate) return "";
  const SeriesEstimate& e = *view.estimate;
  const BenchmarkKind kind{view.benchmark};
  std::string out = std::string("\nseries") + style.dot + kind.title() + style.dot + std::to_string(view.runs) +
                    (view.runs == 1 ? " run" : " runs");
  if (view.completed.size() < view.runs) out += ", " + std::to_string(view.completed.size()) + " completed";
  out += "\n";
  std::string score = rate_text(e.score);
  if (const auto half = e.half_width_percent()) {
    score += std::string(" ") + style.plus_minus + percent_text(*half) + "   (95 % interval " + si_number(*e.low) +
             " - " + si_number(*e.high) + ")";
  } else {
    score += "   (no interval: fewer than 2 runs to go on)";
  }
  out += row("Score", score);
  bool kernel_saw_it = false;
  for (const RunOutcome* run : view.completed)
    kernel_saw_it = kernel_saw_it || kernel_reported(invocation.of(*run).warnings);
  out += wrapped_row("Capability", capability_text(view.capability, style.plus_minus, kernel_saw_it));
  if (const PrecisionRecord* p = view.precision) {
    const std::string asked = std::string("asked ") + style.plus_minus + percent_text(p->target_percent);
    const std::string where = e.half_width_percent()
                                  ? std::string(style.plus_minus) + percent_text(*e.half_width_percent())
                                  : std::string("no interval");
    const std::string runs = std::to_string(view.runs) + (view.runs == 1 ? " run" : " runs") + " in " +
                             length_text(std::round(p->elapsed_seconds));
    std::string text;
    if (p->stopped == "reached") {
      text = where + " after " + runs + " (" + asked + ")";
    } else if (p->stopped == "budget") {
      text = "the budget of " + length_text(p->max_time_seconds) + " ran out at " + where + " after " + runs + " (" +
             asked + ")";
    } else {
      text = p->stopped + " at " + where + " after " + runs + " (" + asked + ")";
    }
    out += row("Precision", text);
    if (p->stopped != "reached") {
      if (const std::string moved = moved_by(view, invocation); !moved.empty()) {
        out += wrapped_row("Moved by", moved);
      }
    }
  }
  for (const DisturbedRun& d : e.disturbed) {
    // What the OS kernel saw of its workers, when it was recorded: the
    // reason a run stood off is most often right there.
    const RunOutcome& run = view.run_of(d);
    out += wrapped_row("Disturbed", "run " + std::to_string(run.repeat) + " stood " + off_text(d.off_percent) +
                                        fmt::format(" the others (z {:.1f}) and is left out of the score", d.z) +
                                        observation_aside(run));
  }
  if (const auto& s = view.spread) {
    out += row("Spread", "mean " + si_number(s->mean) + style.dot + "median " + si_number(s->median) + style.dot +
                             "min " + si_number(s->min) + style.dot + "max " + si_number(s->max) + style.dot +
                             percent_text(s->cv_percent) + " CV across runs");
  }
  return out;
}

}  // namespace

std::string summary_text(const InvocationView& view, Glyphs glyphs) {
  const Invocation& invocation = view.source();
  const Style style(glyphs);
  std::string out =
      terminal_safe("truvello " + invocation.command_version + style.dot + "library " + invocation.library_version +
                    " (interface " + std::to_string(invocation.abi_version) + ")") +
      "\n";
  out += terminal_safe(machine_line(invocation.machine, style.dot)) + "\n";

  MachineWideWarnings machine_wide;
  for (const RunView& run : view.runs) {
    out += '\n';
    out += run_block(run, invocation.run_count(run.run->config.benchmark) > 1, style);
    for (const Warning& w : run.warnings) {
      if (!machine_wide.gather(w)) out += warning_row(w, style);
    }
  }

  for (const SeriesView& series : view.series) out += series_block(view, series, style);
  if (const auto& s = view.scaling) {
    out += "\nscaling\n" +
           row("Efficiency", percent_text(s->efficiency * 100.0) + "   (" + scaling_sentence(*s, style.times) + ")");
  }
  if (!machine_wide.list().empty()) {
    out += "\nmachine\n";
    for (const Warning& w : machine_wide.list()) out += warning_row(w, style);
  }
  return out;
}

}  // namespace truvello::cli
