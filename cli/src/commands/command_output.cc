#include "commands/command_output.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace truvello::cli {

std::string write_file(const std::string& path, const std::string& text) {
  std::ofstream file(path, std::ios::out | std::ios::trunc);
  if (file) file << text;
  file.close();
  if (file) return "";
  const int error = errno;
  return "truvello: cannot write " + path + ": " + std::strerror(error) + "\n";
}

}  // namespace truvello::cli
