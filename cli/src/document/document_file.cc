#include "document/document_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace truvello::cli {

std::string read_document_file(const std::string& path, std::string& text, long long* modified) {
  text.clear();
  // Non-blocking, so that a named pipe cannot stall the command before it
  // has been recognised as something other than a file.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
  const std::string too_large =
      "larger than " + std::to_string(kMaxExportBytes >> 20) + " MiB: not a document of this command";
  struct stat info {};
  std::string failure;
  if (::fstat(fd, &info) != 0) {
    failure = std::string("cannot read: ") + std::strerror(errno);
  } else if (S_ISDIR(info.st_mode)) {
    failure = "is a directory";
  } else if (!S_ISREG(info.st_mode)) {
    failure = "not a regular file";
  } else if (static_cast<std::uint64_t>(info.st_size) > kMaxExportBytes) {
    failure = too_large;
  } else {
    if (modified != nullptr) *modified = static_cast<long long>(info.st_mtime);
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[1 << 16];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        failure = std::string("cannot read: ") + std::strerror(errno);
        break;
      }
      if (n == 0) break;
      text.append(buffer, static_cast<std::size_t>(n));
      // A file still growing while it is read is held to the same bound.
      if (text.size() > kMaxExportBytes) {
        failure = too_large;
        break;
      }
    }
  }
  ::close(fd);
  return failure;
}

}  // namespace truvello::cli
