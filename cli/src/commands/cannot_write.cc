#include "commands/cannot_write.h"

#include <cstring>

#include "text/terminal_text.h"

namespace truvello::cli {

std::string cannot_write(const std::string& path, int error) {
  return "truvello: cannot write " + terminal_safe(path) + ": " + std::strerror(error) + "\n";
}

}  // namespace truvello::cli
