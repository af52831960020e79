#include "commands/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "commands/cannot_write.h"

namespace truvello::cli {

namespace {

std::string directory_of(const std::string& path) {
  const std::string parent = std::filesystem::path(path).parent_path().string();
  return parent.empty() ? "." : parent;
}

// A temporary file descriptor that removes its file unless it was renamed.
class TempFile {
 public:
  explicit TempFile(const std::string& path) {
    // A dot in front keeps the collector from reading it: it takes *.prom only.
    const std::filesystem::path target(path);
    std::string file = ".";
    file.append(target.filename().string()).append(".XXXXXX");
    const std::string name = (target.parent_path() / file).string();
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ >= 0) name_ = buffer.data();
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!name_.empty() && !renamed_) ::unlink(name_.c_str());
  }

  bool open() const { return fd_ >= 0; }

  bool write(const std::string& text) const {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = ::write(fd_, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    // Readable by the collector, which may run as another user, like any
    // file the command writes (the umask still applies).
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return ::fchmod(fd_, 0666 & ~mask) == 0 && ::fsync(fd_) == 0;
  }

  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

  bool rename_to(const std::string& path) {
    renamed_ = ::rename(name_.c_str(), path.c_str()) == 0;
    return renamed_;
  }

 private:
  int fd_ = -1;
  std::string name_;
  bool renamed_ = false;
};

}  // namespace

std::string write_file_atomically(const std::string& path, const std::string& text) {
  TempFile temp(path);
  if (!temp.open()) return cannot_write(path, errno);
  if (!temp.write(text) || !temp.close() || !temp.rename_to(path)) return cannot_write(path, errno);
  return "";
}

std::string check_directory_writable(const std::string& path) {
  if (::access(directory_of(path).c_str(), W_OK | X_OK) != 0) return cannot_write(path, errno);
  return "";
}

}  // namespace truvello::cli
