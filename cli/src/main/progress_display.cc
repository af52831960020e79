#include "main/progress_display.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "progress/progress_line.h"

namespace truvello::cli {

namespace {

// Carriage return, then erase the whole line: the bar is redrawn in place.
constexpr const char* kRedraw = "\r\x1b[2K";
constexpr std::size_t kFallbackWidth = 80;

}  // namespace

ProgressDisplay::ProgressDisplay(Mode mode, std::FILE* stream, int fd, Glyphs glyphs,
                                 std::vector<double> planned_seconds)
    : mode_(mode), stream_(stream), fd_(fd), glyphs_(glyphs), state_(std::move(planned_seconds)) {}

void ProgressDisplay::begin_run(std::size_t run_index, BenchmarkKind kind, std::optional<SeriesGoalView> goal) {
  run_index_ = run_index;
  kind_ = kind;
  goal_ = goal;
  last_phase_ = 0;
  run_start_ = std::chrono::steady_clock::now();
  if (!started_) {
    started_ = true;
    start_ = run_start_;
  }
}

void ProgressDisplay::callback(const truvello_progress_record* record, void* user_data) {
  if (record == nullptr || user_data == nullptr) return;
  try {
    static_cast<ProgressDisplay*>(user_data)->on_record(*record);
  } catch (...) {
    // Progress is a courtesy; losing a frame must not disturb the run.
  }
}

std::size_t ProgressDisplay::terminal_width() const {
  winsize size{};
  if (ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const long value = std::strtol(columns, nullptr, 10);
    if (value > 0) return static_cast<std::size_t>(value);
  }
  return kFallbackWidth;
}

void ProgressDisplay::on_record(const truvello_progress_record& record) {
  if (mode_ == Mode::kOff) return;
  const double now = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  ProgressView view = state_.update(run_index_, kind_, record, now);
  if (goal_) {
    SeriesGoalView goal = *goal_;
    goal.series_elapsed += std::chrono::duration<double>(std::chrono::steady_clock::now() - run_start_).count();
    apply_goal(view, goal);
  }
  const bool final_record = record.phase != TRUVELLO_PHASE_WARMUP && record.phase != TRUVELLO_PHASE_MEASUREMENT;
  const bool new_phase = record.phase != last_phase_;
  last_phase_ = record.phase;

  std::string out;
  if (mode_ == Mode::kLines) {
    if (!new_phase) return;
    out = phase_line(view, record) + "\n";
  } else if (final_record) {
    // Leave one line per finished run behind, in place of the bar.
    out = std::string(kRedraw) + phase_line(view, record) + "\n";
  } else {
    // One column spare: writing the last column makes some terminals wrap.
    const std::size_t width = terminal_width();
    out = std::string(kRedraw) + progress_line(view, width > 1 ? width - 1 : width, glyphs_);
  }
  std::fputs(out.c_str(), stream_);
  std::fflush(stream_);
}

}  // namespace truvello::cli
