#pragma once

#include <sys/types.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace truvello::report {

// A process this program started. Dropping it without waiting kills it
// (SIGKILL, by its own id) and reaps it, so no child outlives the report.
class ChildProcess {
 public:
  // Starts argv[0] (a path) with argv; `output_fd`, when not -1, becomes its
  // standard output, and also its standard error when `merge_stderr`.
  static std::optional<ChildProcess> spawn(const std::vector<std::string>& argv, int output_fd = -1,
                                           bool merge_stderr = false);

  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&&) = delete;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  // Exit status, or 128 + the signal number when a signal ended it.
  int wait();

 private:
  explicit ChildProcess(pid_t pid) : pid_(pid) {}
  pid_t pid_ = -1;
};

struct Captured {
  int status = -1;
  std::string output;
};

// Runs argv to its end and collects its standard output (and standard error
// when `merge_stderr`). `while_running` is called on this thread once the
// child has started, while its output is being drained.
std::optional<Captured> run_capturing(const std::vector<std::string>& argv, bool merge_stderr = false,
                                      const std::function<void()>& while_running = {});

}  // namespace truvello::report
