#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "progress/progress_state.h"
#include "progress/sparkline.h"
#include "truvello.h"

namespace truvello::cli {

// Shows progress on stderr while the library runs: a live bar redrawn in
// place on a terminal, a plain line per phase anywhere else, or nothing.
class ProgressDisplay {
 public:
  enum class Mode { kOff, kBar, kLines };

  ProgressDisplay(Mode mode, std::FILE* stream, int fd, Glyphs glyphs, std::vector<double> planned_seconds);

  // `goal` is set for a run of a --precision series; its series_elapsed is
  // the time the series had taken when this run began.
  void begin_run(std::size_t run_index, BenchmarkKind kind, std::optional<SeriesGoalView> goal = std::nullopt);

  // The C callback; `user_data` is the display. Never lets an exception
  // reach the library.
  static void callback(const truvello_progress_record* record, void* user_data);

 private:
  void on_record(const truvello_progress_record& record);
  std::size_t terminal_width() const;

  Mode mode_;
  std::FILE* stream_;
  int fd_;
  Glyphs glyphs_;
  ProgressState state_;
  std::size_t run_index_ = 0;
  BenchmarkKind kind_;
  std::uint32_t last_phase_ = 0;
  std::optional<SeriesGoalView> goal_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point run_start_;
  bool started_ = false;
};

}  // namespace truvello::cli
