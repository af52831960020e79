#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace truvello::testing {

// How a child ended: its exit status, or 128 + the signal that ended it, and
// everything it wrote.
struct Finished {
  int status = -1;
  std::string out;  // stdout; stdout and stderr together for kMerged and kTerminal
  std::string err;  // stderr; empty for kMerged and kTerminal
};

// A program started as a child of this process, its output read as it comes.
// Dropping it kills the child (SIGKILL, by its own id) and reaps it, so no
// child outlives its owner. The time limits only turn a hung child into a
// failure instead of a blocked caller; nothing here depends on how long a
// child takes within them.
//
// Pipes are set up with posix_spawn, which is safe in a process with other
// threads (and under ThreadSanitizer); a terminal needs forkpty, and the
// child execs at once.
class ChildProcess {
 public:
  enum class Output {
    kPipes,      // stdout and stderr on two pipes
    kMerged,     // stdout and stderr on one pipe
    kTerminal,   // a pseudo-terminal, 100 columns by 30 rows
    kInherited,  // this process's own stdout and stderr; nothing is read
  };

  static constexpr std::chrono::seconds kHangLimit{60};

  // Starts argv[0], a path, with argv. Throws std::runtime_error when the
  // child cannot be started.
  ChildProcess(const std::vector<std::string>& argv, Output output);
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Reads until `needle` has appeared on stderr (or the merged stream or the
  // terminal). False at the end of the output or when the limit passes first.
  bool wait_for(std::string_view needle, std::chrono::seconds limit = kHangLimit);

  // Sends a signal to the child, while it has not been reaped.
  void send(int signo);

  // Reads everything to the end and reaps the child, killing it when the
  // limit passes first. Call at most once.
  Finished finish(std::chrono::seconds limit = kHangLimit);

 private:
  // One poll round; false once every stream has ended.
  bool pump(std::chrono::milliseconds wait);
  // Where wait_for looks: stderr on pipes, the one stream otherwise.
  std::string& watched();

  Output output_;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  Finished seen_;
};

}  // namespace truvello::testing
