#pragma once

#include <string>

namespace truvello::cli {

// The line that says a file the user named could not be written:
// "truvello: cannot write PATH: REASON\n", the path made safe for a terminal
// so that the line stays one line whatever the path holds.
std::string cannot_write(const std::string& path, int error);

}  // namespace truvello::cli
