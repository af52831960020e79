#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "progress/progress_state.h"
#include "progress/sparkline.h"

namespace truvello::cli {

// The name of a progress phase: "warm-up", "measuring", "done", ...
const char* phase_name(std::uint32_t phase);

// The live line, at most `width` columns, without control characters: the
// caller adds the carriage return and the erase-line code.
//   "[1/2 single worker] measuring ██████▌      42 %  0:05 elapsed  0:07 left  1.235 M ops/s  1 worker"
// Parts are dropped from the right end of that list, the bar shrinks first,
// when the terminal is narrow.
std::string progress_line(const ProgressView& view, std::size_t width, Glyphs glyphs);

// The bar alone, `cells` wide; block glyphs fill in eighths of a cell over a
// light shade that shows the bar's extent.
std::string progress_bar(double fraction, std::size_t cells, Glyphs glyphs);

// The plain line for the start of a phase and for the end of a run, written
// when stderr is not a terminal (and, for the end, left behind by the bar):
//   "truvello: [1/2 single worker] measuring for 5 s with 1 worker"
//   "truvello: [1/2 single worker] done: 1.235 M ops/s over 5.001 s"
std::string phase_line(const ProgressView& view, const truvello_progress_record& record);

}  // namespace truvello::cli
