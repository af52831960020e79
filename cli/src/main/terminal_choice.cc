#include "main/terminal_choice.h"

#include <langinfo.h>
#include <unistd.h>

#include <cstdlib>

#include "progress/sparkline.h"

namespace truvello::cli {

Glyphs locale_glyphs() { return is_utf8_codeset(nl_langinfo(CODESET)) ? Glyphs::kBlocks : Glyphs::kAscii; }

ProgressDisplay::Mode progress_mode(bool quiet) {
  if (quiet) return ProgressDisplay::Mode::kOff;
  return isatty(STDERR_FILENO) ? ProgressDisplay::Mode::kBar : ProgressDisplay::Mode::kLines;
}

bool colour_wanted() {
  const char* no_colour = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) && (no_colour == nullptr || *no_colour == '\0');
}

}  // namespace truvello::cli
