#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
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

  void begin_run(std::size_t run_index, BenchmarkKind kind);

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
  std::chrono::steady_clock::time_point start_;
  bool started_ = false;
};

}  // namespace truvello::cli
