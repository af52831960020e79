#pragma once

#include "main/progress_display.h"
#include "progress/sparkline.h"

namespace truvello::cli {

// What this process's locale and terminal allow, decided in one place for
// every command.

// Block glyphs where the locale's character set is UTF-8, ASCII elsewhere.
Glyphs locale_glyphs();

// No progress under --quiet, a bar redrawn in place when stderr is a
// terminal, a plain line per phase anywhere else.
ProgressDisplay::Mode progress_mode(bool quiet);

// Colour only on a terminal, and never when NO_COLOR is set (to anything but
// the empty string, which counts as unset).
bool colour_wanted();

}  // namespace truvello::cli
