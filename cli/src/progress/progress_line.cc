#include "progress/progress_line.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "text/terminal_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

constexpr std::size_t kMaxBarCells = 30;
constexpr std::size_t kMinBarCells = 8;

std::string run_tag(const ProgressView& view) {
  // Appended piece by piece: g++ 12 misreads a chain of '+' starting from a
  // literal as an overlapping copy (-Wrestrict).
  std::string tag = "[";
  if (view.goal) {
    // A --precision series has no planned count.
    tag += "run ";
    tag += std::to_string(view.goal->run_number);
  } else {
    tag += std::to_string(view.run_index + 1);
    tag += '/';
    tag += std::to_string(view.run_count);
  }
  tag += ' ';
  tag += view.kind.title();
  tag += ']';
  return tag;
}

// Where a --precision series stands: "±2.31 % of ±1 %", or "±? of ±1 %"
// before there is an interval; "+/-" where the glyph may not show.
std::string goal_text(const SeriesGoalView& goal, Glyphs glyphs) {
  const char* plus_minus = glyphs == Glyphs::kBlocks ? "\u00B1" : "+/-";
  const std::string now = goal.half_width_percent ? percent_text(*goal.half_width_percent) : std::string("?");
  return plus_minus + now + " of " + plus_minus + percent_text(goal.target_percent);
}

std::string workers_text(std::uint32_t workers) {
  return std::to_string(workers) + (workers == 1 ? " worker" : " workers");
}

std::string whole_percent(double fraction) {
  const long percent = std::lround(std::clamp(fraction, 0.0, 1.0) * 100.0);
  std::string text = std::to_string(percent) + " %";
  return std::string(5 - std::min<std::size_t>(text.size(), 5), ' ') + text;
}

// Pads to a fixed width so that the bar and the figures keep their place
// while the texts change length from frame to frame.
std::string pad_right(std::string text, std::size_t width) {
  const std::size_t shown = display_width(text);
  if (shown < width) text.append(width - shown, ' ');
  return text;
}

std::string pad_left(const std::string& text, std::size_t width) {
  const std::size_t shown = display_width(text);
  return shown < width ? std::string(width - shown, ' ') + text : text;
}

std::string join(const std::vector<std::string>& parts) {
  std::string out;
  for (const std::string& part : parts) {
    if (part.empty()) continue;
    if (!out.empty()) out += "  ";
    out += part;
  }
  return out;
}

}  // namespace

const char* phase_name(std::uint32_t phase) {
  switch (phase) {
    case TRUVELLO_PHASE_WARMUP:
      return "warm-up";
    case TRUVELLO_PHASE_MEASUREMENT:
      return "measuring";
    case TRUVELLO_PHASE_DONE:
      return "done";
    case TRUVELLO_PHASE_CANCELLED:
      return "cancelled";
    default:
      return "failed";
  }
}

std::string progress_bar(double fraction, std::size_t cells, Glyphs glyphs) {
  fraction = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
  std::string out;
  if (glyphs == Glyphs::kAscii) {
    const auto full = static_cast<std::size_t>(std::floor(fraction * static_cast<double>(cells)));
    out.append(full, '#');
    out.append(cells - full, '-');
    return out;
  }
  static constexpr std::array<const char*, 8> kEighths = {"",       "\u258F", "\u258E", "\u258D",
                                                          "\u258C", "\u258B", "\u258A", "\u2589"};
  const auto eighths = static_cast<std::size_t>(std::floor(fraction * static_cast<double>(cells) * 8));
  const std::size_t full = eighths / 8;
  for (std::size_t i = 0; i < full; ++i) out += "\u2588";
  std::size_t used = full;
  if (full < cells && eighths % 8 != 0) {
    out += kEighths[eighths % 8];
    ++used;
  }
  for (std::size_t i = used; i < cells; ++i) out += "\u2591";
  return out;
}

std::string progress_line(const ProgressView& view, std::size_t width, Glyphs glyphs) {
  constexpr std::size_t kPhaseWidth = 9;  // "measuring"
  constexpr std::size_t kClockWidth = 4;  // "0:05"; longer runs push right
  constexpr std::size_t kRateWidth = 13;  // "999.9 k ops/s"
  const std::string head = run_tag(view) + " " + pad_right(phase_name(view.phase), kPhaseWidth);
  const std::string percent = whole_percent(view.overall_fraction);
  // Everything but the bar, most important first; the tail is dropped when
  // even the smallest bar does not fit.
  std::vector<std::string> tail;
  if (view.goal) {
    tail = {
        goal_text(*view.goal, glyphs),
        pad_left(clock_text(view.elapsed_seconds), kClockWidth) + " of " + clock_text(view.goal->budget_seconds),
        pad_left(view.rate ? rate_text(*view.rate) : std::string("-- ops/s"), kRateWidth),
        workers_text(view.workers),
    };
  } else {
    tail = {
        pad_left(clock_text(view.elapsed_seconds), kClockWidth) + " elapsed",
        pad_left(clock_text(view.remaining_seconds), kClockWidth) + " left",
        pad_left(view.rate ? rate_text(*view.rate) : std::string("-- ops/s"), kRateWidth),
        workers_text(view.workers),
    };
  }
  while (true) {
    const std::string rest = join(tail);
    const std::size_t fixed =
        display_width(head) + 1 + 1 + display_width(percent) + (rest.empty() ? 0 : 2 + display_width(rest));
    if (fixed + kMinBarCells <= width || tail.empty()) {
      const std::size_t room = width > fixed ? width - fixed : 0;
      const std::size_t cells = std::min(kMaxBarCells, room);
      std::string line = head + " ";
      if (cells >= kMinBarCells) line += progress_bar(view.overall_fraction, cells, glyphs) + " ";
      line += percent;
      if (!rest.empty()) line += "  " + rest;
      // On a very narrow terminal cut at the edge rather than wrap, which
      // would leave a trail of lines behind the carriage returns.
      if (display_width(line) > width) {
        std::string cut;
        std::size_t shown = 0;
        for (char c : line) {
          const bool starts = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
          if (starts && shown == width) break;
          if (starts) ++shown;
          cut.push_back(c);
        }
        line = cut;
      }
      return line;
    }
    tail.pop_back();
  }
}

std::string phase_line(const ProgressView& view, const truvello_progress_record& record) {
  std::string line = "truvello: ";
  line += run_tag(view);
  line += ' ';
  switch (view.phase) {
    case TRUVELLO_PHASE_WARMUP:
      return line + "warming up for " + length_text(record.phase_seconds) + " with " + workers_text(view.workers);
    case TRUVELLO_PHASE_MEASUREMENT:
      line += "measuring for " + length_text(record.phase_seconds) + " with " + workers_text(view.workers);
      if (view.goal) {
        line += " (" + goal_text(*view.goal, Glyphs::kAscii) + ", " + clock_text(view.elapsed_seconds) + " of " +
                clock_text(view.goal->budget_seconds) + ")";
      }
      return line;
    case TRUVELLO_PHASE_DONE:
      // The final record carries the run's total and its measured seconds.
      if (record.phase_elapsed_seconds > 0.0) {
        return line + "done: " + rate_text(static_cast<double>(record.ops) / record.phase_elapsed_seconds) + " over " +
               seconds_text(record.phase_elapsed_seconds);
      }
      return line + "done";
    default:
      return line + phase_name(view.phase);
  }
}

}  // namespace truvello::cli
