#pragma once

#include <string>

namespace truvello::testing {

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

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

}  // namespace truvello::testing
