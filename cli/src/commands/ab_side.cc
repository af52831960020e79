#include "commands/ab_side.h"

#include <sys/stat.h>

#include <utility>
#include <vector>

namespace truvello::cli {

namespace {

// 'A' or 'B' for "FILE#A" or "FILE#B" when no file has that whole name; 0
// otherwise.
char side_suffix(const std::string& path) {
  if (path.size() < 3 || path[path.size() - 2] != '#') return 0;
  const char side = path.back();
  if (side != 'A' && side != 'B') return 0;
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? 0 : side;
}

}  // namespace

ExportRead read_export_or_side(const std::string& path) {
  const char side = side_suffix(path);
  if (side == 0) return read_export(path);
  ExportRead read = read_export(path.substr(0, path.size() - 2));
  if (!read.saved) return read;
  Invocation& invocation = read.saved->invocation;
  if (!invocation.ab) {
    read.saved.reset();
    read.error = path + ": " + path.substr(0, path.size() - 2) + " is not an A/B series (written by `truvello ab`)";
    return read;
  }
  std::vector<RunOutcome> kept;
  for (std::size_t i = 0; i < invocation.runs.size(); ++i) {
    if (invocation.ab->order[i] != side) continue;
    kept.push_back(std::move(invocation.runs[i]));
    kept.back().repeat = static_cast<std::uint32_t>(kept.size());
  }
  invocation.runs = std::move(kept);
  invocation.ab.reset();
  return read;
}

}  // namespace truvello::cli
