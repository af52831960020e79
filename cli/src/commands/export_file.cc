#include "commands/export_file.h"

#include <cerrno>

#include "commands/atomic_file.h"
#include "commands/cannot_write.h"

namespace truvello::cli {

ExportFile::ExportFile(std::string path, Replace replace) : path_(std::move(path)), replace_(replace) {
  if (replace_ == Replace::kAtomically) {
    failure_ = check_directory_writable(path_);
    return;
  }
  stream_.open(path_, std::ios::out | std::ios::trunc);
  if (!stream_) failure_ = cannot_write(path_, errno);
}

std::string ExportFile::write(const std::string& text) {
  if (!failure_.empty()) return failure_;
  if (replace_ == Replace::kAtomically) return write_file_atomically(path_, text);
  stream_ << text;
  stream_.close();
  if (stream_) return "";
  return cannot_write(path_, errno);
}

std::string write_export(const std::string& path, const std::string& text, ExportFile::Replace replace) {
  return ExportFile(path, replace).write(text);
}

}  // namespace truvello::cli
