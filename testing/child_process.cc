#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace truvello::testing {
namespace {

std::vector<char*> argv_of(std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return argv;
}

// A pipe whose ends are closed on exec; the child gets its copies by dup2,
// which clears the flag on the copy.
std::array<int, 2> cloexec_pipe() {
  std::array<int, 2> ends{-1, -1};
  if (pipe2(ends.data(), O_CLOEXEC) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  return ends;
}

// Reads what is available; false at end of stream (a terminal reports EIO
// once the child has closed it).
bool drain(int fd, std::string& into) {
  std::array<char, 4096> buffer{};
  const ssize_t n = read(fd, buffer.data(), buffer.size());
  if (n > 0) {
    into.append(buffer.data(), static_cast<std::size_t>(n));
    return true;
  }
  return n < 0 && (errno == EINTR || errno == EAGAIN);
}

void close_if_open(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, Output output) : output_(output) {
  if (argv.empty()) throw std::invalid_argument("ChildProcess needs a program");
  std::vector<std::string> args = argv;
  std::vector<char*> raw = argv_of(args);

  if (output == Output::kTerminal) {
    int master = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    pid_ = forkpty(&master, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
    if (pid_ == 0) {
      execv(raw[0], raw.data());
      _exit(127);
    }
    out_fd_ = master;
    return;
  }

  std::array<int, 2> out{-1, -1};
  std::array<int, 2> err{-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  try {
    if (output != Output::kInherited) {
      out = cloexec_pipe();
      posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    }
    if (output == Output::kPipes) {
      err = cloexec_pipe();
      posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    }
    if (output == Output::kMerged) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  } catch (...) {
    posix_spawn_file_actions_destroy(&actions);
    for (int* fd : {&out[0], &out[1], &err[0], &err[1]}) close_if_open(*fd);
    throw;
  }
  const int rc = posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  // The child holds the only writing ends now, so its exit ends the streams.
  close_if_open(out[1]);
  close_if_open(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
  if (rc != 0) {
    pid_ = -1;
    close_if_open(out_fd_);
    close_if_open(err_fd_);
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
  }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : output_(other.output_),
      pid_(other.pid_),
      out_fd_(other.out_fd_),
      err_fd_(other.err_fd_),
      seen_(std::move(other.seen_)) {
  other.pid_ = -1;
  other.out_fd_ = -1;
  other.err_fd_ = -1;
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  close_if_open(out_fd_);
  close_if_open(err_fd_);
}

std::string& ChildProcess::watched() { return output_ == Output::kPipes ? seen_.err : seen_.out; }

bool ChildProcess::pump(std::chrono::milliseconds wait) {
  std::array<pollfd, 2> fds{};
  nfds_t count = 0;
  if (out_fd_ >= 0) fds[count++] = pollfd{out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = pollfd{err_fd_, POLLIN, 0};
  if (count == 0) return false;
  if (poll(fds.data(), count, static_cast<int>(wait.count())) <= 0) return true;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    const bool is_out = fds[i].fd == out_fd_;
    if (!drain(fds[i].fd, is_out ? seen_.out : seen_.err)) close_if_open(is_out ? out_fd_ : err_fd_);
  }
  return true;
}

bool ChildProcess::wait_for(std::string_view needle, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (watched().find(needle) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!pump(std::chrono::milliseconds(100))) return watched().find(needle) != std::string::npos;
  }
  return true;
}

void ChildProcess::send(int signo) {
  if (pid_ > 0) kill(pid_, signo);
}

Finished ChildProcess::finish(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (pump(std::chrono::milliseconds(100))) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      break;
    }
  }
  if (pid_ <= 0) return seen_;
  int raw = 0;
  pid_t reaped = -1;
  do {
    // An inherited output gives nothing to read: the wait bounds the child.
    if (output_ == Output::kInherited && std::chrono::steady_clock::now() > deadline) kill(pid_, SIGKILL);
    reaped = waitpid(pid_, &raw, output_ == Output::kInherited ? WNOHANG : 0);
    if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while ((reaped < 0 && errno == EINTR) || reaped == 0);
  pid_ = -1;
  Finished done = std::move(seen_);
  if (reaped > 0 && WIFEXITED(raw)) done.status = WEXITSTATUS(raw);
  if (reaped > 0 && WIFSIGNALED(raw)) done.status = 128 + WTERMSIG(raw);
  return done;
}

}  // namespace truvello::testing
