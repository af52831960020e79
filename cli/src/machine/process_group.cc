#include "machine/process_group.h"

#include <signal.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace truvello::cli {

namespace {

// The states of the group's processes ('R', 'S', 'T', 'Z', ...), from
// /proc/PID/stat; empty once no process of the group is left.
std::string member_states(pid_t group) {
  std::string states;
  // No member at all, not even a zombie: nothing to read.
  if (::kill(-group, 0) != 0 && errno == ESRCH) return states;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(entry.path() / "stat");
    std::string stat;
    if (!std::getline(in, stat)) continue;  // ended meanwhile
    // "PID (COMM) STATE PPID PGRP ...": the name may hold anything, even
    // ") ", so the fields are read after its last parenthesis.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(stat.substr(close + 1));
    char state = 0;
    long parent = 0;
    long process_group = 0;
    if (!(fields >> state >> parent >> process_group)) continue;
    if (process_group == group) states += state;
  }
  return states;
}

}  // namespace

bool process_group_alive(pid_t group) { return member_states(group).find_first_not_of("ZX") != std::string::npos; }

bool process_group_stopped(pid_t group) { return member_states(group).find('T') != std::string::npos; }

}  // namespace truvello::cli
