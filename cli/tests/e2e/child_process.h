#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace truvello::cli::testing {

// How a child ended: its exit status, or 128 + the signal that killed it,
// and everything it wrote.
struct Finished {
  int status = -1;
  std::string out;  // stdout; on a terminal, everything the terminal showed
  std::string err;  // stderr; empty on a terminal
};

// The built command, started with the given arguments, its output read as it
// comes. The time limits below are only there so that a hung command fails
// the test instead of blocking it; no test depends on how long anything takes.
class Child {
 public:
  enum class Output { kPipes, kTerminal };

  Child(const std::vector<std::string>& args, Output output);
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Reads until `needle` has appeared on stderr (or the terminal). False on
  // end of output or when the limit passes first.
  bool wait_for(std::string_view needle, std::chrono::seconds limit = std::chrono::seconds(60));

  void send(int signo);

  // Reads everything to the end and reaps the child; kills it if the limit
  // passes.
  Finished finish(std::chrono::seconds limit = std::chrono::seconds(60));

 private:
  // One poll round; false once every stream has ended.
  bool pump(std::chrono::milliseconds wait);

  bool terminal_ = false;
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  Finished seen_;
};

// A fresh directory for files a test writes, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);

}  // namespace truvello::cli::testing
