#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

extern char** environ;

namespace truvello::report {
namespace {

// Closes a descriptor when the scope ends.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { reset(); }
  int get() const { return fd_; }
  void reset() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

std::optional<ChildProcess> ChildProcess::spawn(const std::vector<std::string>& argv, int output_fd,
                                                bool merge_stderr) {
  if (argv.empty()) return std::nullopt;
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (output_fd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, output_fd, STDOUT_FILENO);
    if (merge_stderr) posix_spawn_file_actions_adddup2(&actions, output_fd, STDERR_FILENO);
  }
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return std::nullopt;
  return ChildProcess(pid);
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }

ChildProcess::~ChildProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  wait();
}

int ChildProcess::wait() {
  if (pid_ <= 0) return -1;
  int status = 0;
  pid_t r = -1;
  do {
    r = waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  pid_ = -1;
  if (r < 0) return -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

std::optional<Captured> run_capturing(const std::vector<std::string>& argv, bool merge_stderr,
                                      const std::function<void()>& while_running) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return std::nullopt;
  Fd read_end(ends[0]);
  Fd write_end(ends[1]);
  auto child = ChildProcess::spawn(argv, write_end.get(), merge_stderr);
  write_end.reset();  // the child holds the only writing end now
  if (!child) return std::nullopt;

  Captured captured;
  std::thread drain([&] {
    char buffer[4096];
    for (;;) {
      const ssize_t n = read(read_end.get(), buffer, sizeof buffer);
      if (n > 0) {
        captured.output.append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        break;
      }
    }
  });
  if (while_running) while_running();
  drain.join();
  captured.status = child->wait();
  return captured;
}

}  // namespace truvello::report
