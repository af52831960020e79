#include "main/setup_command.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <vector>

extern char** environ;

namespace truvello::cli {

std::string ShellOutcome::text() const {
  if (!failure.empty()) return "could not be started: " + failure;
  if (signal != 0) return "was ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  return "exited with status " + std::to_string(exit_status);
}

ShellOutcome run_shell(const std::string& command, std::optional<char> side) {
  // This process's environment less any TRUVELLO_PID or TRUVELLO_SIDE it
  // inherited, which would name another process or side.
  std::vector<std::string> added{"TRUVELLO_PID=" + std::to_string(::getpid())};
  if (side) added.push_back(std::string("TRUVELLO_SIDE=") + *side);
  std::vector<char*> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    const std::string_view entry(*e);
    if (entry.starts_with("TRUVELLO_PID=") || entry.starts_with("TRUVELLO_SIDE=")) continue;
    env.push_back(*e);
  }
  for (std::string& a : added) env.push_back(a.data());
  env.push_back(nullptr);

  std::string shell = "/bin/sh";
  std::string dash_c = "-c";
  std::string text = command;
  char* argv[] = {shell.data(), dash_c.data(), text.data(), nullptr};
  ShellOutcome outcome;
  pid_t pid = -1;
  // posix_spawn: safe with the threads this process already has.
  if (const int error = ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, env.data()); error != 0) {
    outcome.failure = std::strerror(error);
    return outcome;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      outcome.failure = std::string("waiting for it failed: ") + std::strerror(errno);
      return outcome;
    }
  }
  if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  } else {
    outcome.exit_status = WEXITSTATUS(status);
  }
  return outcome;
}

}  // namespace truvello::cli
