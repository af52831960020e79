#include "main/setup_command.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "machine/process_group.h"

extern char** environ;

namespace truvello::cli {

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPollInterval = std::chrono::milliseconds(10);
constexpr auto kStopCheckInterval = std::chrono::milliseconds(250);

// posix_spawn's attributes, destroyed with their owner.
class SpawnAttributes {
 public:
  SpawnAttributes() { ::posix_spawnattr_init(&attributes_); }
  ~SpawnAttributes() { ::posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  posix_spawnattr_t* get() { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

void record_status(int status, ShellOutcome& outcome) {
  if (WIFSIGNALED(status)) {
    outcome.signal = WTERMSIG(status);
  } else {
    outcome.exit_status = WEXITSTATUS(status);
  }
}

// Waits for `pid`: its status, or false with `outcome.failure` said.
bool wait_blocking(pid_t pid, int& status, ShellOutcome& outcome) {
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      outcome.failure = std::string("waiting for it failed: ") + std::strerror(errno);
      return false;
    }
  }
  return true;
}

// Waits for the group led by `pid`, asking `cancelled` (when given) as it
// goes, and ends the group when it is cancelled or stuck stopped; see
// run_shell.
void wait_group(pid_t pid, bool (*cancelled)(), ShellOutcome& outcome) {
  const pid_t group = pid;
  std::optional<Clock::time_point> terminated;  // when the group got SIGTERM
  bool leader_ended = false;
  int status = 0;
  // A stopped member is looked for now and then: it costs a walk of /proc.
  Clock::time_point next_stop_check = Clock::now() + kStopCheckInterval;
  int stopped_checks = 0;
  for (;;) {
    if (!leader_ended) {
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        leader_ended = true;
        record_status(status, outcome);
      } else if (done < 0 && errno != EINTR) {
        outcome.failure = std::string("waiting for it failed: ") + std::strerror(errno);
        return;
      }
    }
    // Once told to end, the group is waited for whole: a member that
    // outlives the shell would go on changing the machine.
    if (leader_ended && (!terminated || !process_group_alive(group))) return;
    if (!terminated && Clock::now() >= next_stop_check) {
      next_stop_check = Clock::now() + kStopCheckInterval;
      // Twice in a row, so that a member stopped and continued on purpose
      // in between is left alone.
      stopped_checks = process_group_stopped(group) ? stopped_checks + 1 : 0;
    }
    const bool stuck = stopped_checks >= 2;
    if (!terminated && (stuck || (cancelled != nullptr && cancelled()))) {
      ::killpg(group, SIGTERM);
      ::killpg(group, SIGCONT);
      terminated = Clock::now();
      (stuck ? outcome.stopped : outcome.cancelled) = true;
    }
    if (terminated && Clock::now() - *terminated >= kCancelGrace) {
      ::killpg(group, SIGKILL);
      if (!leader_ended && wait_blocking(pid, status, outcome)) record_status(status, outcome);
      return;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

std::string ShellOutcome::text() const {
  if (!failure.empty()) return "could not be started: " + failure;
  if (cancelled) return "was cancelled";
  if (stopped)
    return "was stopped, most likely reading from the terminal, which it cannot (it runs in the background), and was "
           "ended";
  if (signal != 0) return "was ended by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
  return "exited with status " + std::to_string(exit_status);
}

ShellOutcome run_shell(const std::string& command, std::optional<char> side, bool (*cancelled)()) {
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
  SpawnAttributes attributes;
  // A group of its own, led by the shell (group 0: the child's own id).
  ::posix_spawnattr_setflags(attributes.get(), POSIX_SPAWN_SETPGROUP);
  ::posix_spawnattr_setpgroup(attributes.get(), 0);
  ShellOutcome outcome;
  pid_t pid = -1;
  // posix_spawn: safe with the threads this process already has.
  if (const int error = ::posix_spawn(&pid, "/bin/sh", nullptr, attributes.get(), argv, env.data()); error != 0) {
    outcome.failure = std::strerror(error);
    return outcome;
  }
  wait_group(pid, cancelled, outcome);
  return outcome;
}

}  // namespace truvello::cli
