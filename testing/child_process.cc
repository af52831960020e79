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
  start(argv, nullptr);
}

ChildProcess::ChildProcess(const std::function<void()>& body, Output output) : output_(output) { start({}, &body); }

void ChildProcess::start(const std::vector<std::string>& argv, const std::function<void()>* body) {
  std::vector<std::string> args = argv;
  std::vector<char*> raw = argv_of(args);
  // In the child, after its output is set up: never returns.
  const auto become_child = [&] {
    if (body != nullptr) {
      // An exception must not carry the child back into the parent's code.
      try {
        (*body)();
      } catch (...) {
        _exit(126);
      }
      _exit(0);
    }
    execv(raw[0], raw.data());
    _exit(127);
  };

  if (output_ == Output::kTerminal) {
    int master = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    pid_ = forkpty(&master, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error(std::string("forkpty: ") + std::strerror(errno));
    if (pid_ == 0) become_child();
    out_fd_ = master;
    return;
  }

  std::array<int, 2> out{-1, -1};
  std::array<int, 2> err{-1, -1};
  const auto close_all = [&] {
    for (int* fd : {&out[0], &out[1], &err[0], &err[1]}) close_if_open(*fd);
  };
  try {
    if (output_ != Output::kInherited) out = cloexec_pipe();
    if (output_ == Output::kPipes) err = cloexec_pipe();
  } catch (...) {
    close_all();
    throw;
  }
  const int err_end = output_ == Output::kMerged ? out[1] : err[1];

  int rc = 0;
  if (body != nullptr) {
    pid_ = fork();
    if (pid_ == 0) {
      if (out[1] >= 0) dup2(out[1], STDOUT_FILENO);
      if (err_end >= 0) dup2(err_end, STDERR_FILENO);
      close_all();
      become_child();
    }
    rc = pid_ < 0 ? errno : 0;
  } else {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (out[1] >= 0) posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    if (err_end >= 0) posix_spawn_file_actions_adddup2(&actions, err_end, STDERR_FILENO);
    rc = posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
  }
  // The child holds the only writing ends now, so its exit ends the streams.
  close_if_open(out[1]);
  close_if_open(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
  if (rc != 0) {
    pid_ = -1;
    close_if_open(out_fd_);
    close_if_open(err_fd_);
    throw std::runtime_error("cannot start " + (argv.empty() ? std::string("a fork") : argv[0]) + ": " +
                             std::strerror(rc));
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
  bool hung = false;
  while (pump(std::chrono::milliseconds(100))) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      hung = true;
      break;
    }
  }
  if (pid_ <= 0) return seen_;
  int raw = 0;
  pid_t reaped = -1;
  do {
    // The streams may end before the child does (or, inherited, give nothing
    // to read): the limit bounds the wait for its exit as well.
    if (!hung && std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      hung = true;
    }
    reaped = waitpid(pid_, &raw, WNOHANG);
    if (reaped == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while ((reaped < 0 && errno == EINTR) || reaped == 0);
  pid_ = -1;
  Finished done = std::move(seen_);
  done.hung = hung;
  if (reaped > 0 && WIFEXITED(raw)) done.status = WEXITSTATUS(raw);
  if (reaped > 0 && WIFSIGNALED(raw)) {
    done.signal = WTERMSIG(raw);
    done.status = 128 + done.signal;
  }
  return done;
}

std::optional<Finished> run_to_end(const std::vector<std::string>& argv, ChildProcess::Output output,
                                   std::chrono::seconds limit) {
  try {
    return ChildProcess(argv, output).finish(limit);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace truvello::testing
