#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace truvello::cli {

// Text from outside (a saved file, /proc, /sys, a file name, a reason the
// library passed on) made harmless for a terminal: every C0 control
// character (ESC, BEL and line breaks among them), DEL and every C1 control
// character is shown as a visible escape ("\x1b", "\x7f", "\u009b"), and so
// is every byte that is not part of valid UTF-8 ("\xff"). Printable text,
// whatever its script, is kept as it is; a backslash stays a backslash.
std::string terminal_safe(std::string_view text);

// Lines of text for a terminal, each made safe as above, the line breaks
// ("\n") kept: for messages that mix the command's words with a file name
// or a value given on the command line.
std::string terminal_lines(std::string_view text);

// The columns a terminal gives UTF-8 text without escape codes: one per code
// point, as the command prints no wide characters.
std::size_t display_width(std::string_view text);

}  // namespace truvello::cli
