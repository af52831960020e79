#include "child_process.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace truvello::cli::testing {

namespace {

[[noreturn]] void exec_command(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string program = TRUVELLO_COMMAND_PATH;
  argv.push_back(program.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies) argv.push_back(a.data());
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
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

}  // namespace

Child::Child(const std::vector<std::string>& args, Output output) {
  if (output == Output::kTerminal) {
    int master = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 30;
    terminal_ = true;
    pid_ = forkpty(&master, nullptr, nullptr, &size);
    if (pid_ < 0) throw std::runtime_error("forkpty failed");
    if (pid_ == 0) exec_command(args);
    out_fd_ = master;
    return;
  }
  std::array<int, 2> out{};
  std::array<int, 2> err{};
  if (pipe(out.data()) != 0 || pipe(err.data()) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {out[0], out[1], err[0], err[1]}) close(fd);
    exec_command(args);
  }
  close(out[1]);
  close(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
}

Child::~Child() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

bool Child::pump(std::chrono::milliseconds wait) {
  std::array<pollfd, 2> fds{};
  nfds_t count = 0;
  if (out_fd_ >= 0) fds[count++] = pollfd{out_fd_, POLLIN, 0};
  if (err_fd_ >= 0) fds[count++] = pollfd{err_fd_, POLLIN, 0};
  if (count == 0) return false;
  if (poll(fds.data(), count, static_cast<int>(wait.count())) <= 0) return true;
  for (nfds_t i = 0; i < count; ++i) {
    if (fds[i].revents == 0) continue;
    const bool is_out = fds[i].fd == out_fd_;
    // A terminal carries stdout and stderr together; collect it where
    // wait_for looks, and hand it over as "out" at the end.
    std::string& into = is_out && !terminal_ ? seen_.out : seen_.err;
    if (!drain(fds[i].fd, into)) {
      close(fds[i].fd);
      (is_out ? out_fd_ : err_fd_) = -1;
    }
  }
  return true;
}

bool Child::wait_for(std::string_view needle, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (seen_.err.find(needle) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    if (!pump(std::chrono::milliseconds(100))) return seen_.err.find(needle) != std::string::npos;
  }
  return true;
}

void Child::send(int signo) { kill(pid_, signo); }

Finished Child::finish(std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (pump(std::chrono::milliseconds(100))) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid_, SIGKILL);
      break;
    }
  }
  int raw = 0;
  waitpid(pid_, &raw, 0);
  pid_ = -1;
  Finished done = seen_;
  if (WIFEXITED(raw)) done.status = WEXITSTATUS(raw);
  if (WIFSIGNALED(raw)) done.status = 128 + WTERMSIG(raw);
  if (terminal_) done.out.swap(done.err);
  return done;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "truvello-cli-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace truvello::cli::testing
