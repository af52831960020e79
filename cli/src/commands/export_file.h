#pragma once

#include <fstream>
#include <string>

namespace truvello::cli {

// A file the user named with an --export-* option. It is opened when made,
// so that a command which works for minutes before it has anything to write
// can find a mistyped path first, and written once, whole, when the text is
// ready. Every export of every command is written through this.
class ExportFile {
 public:
  enum class Replace {
    kInPlace,     // created or emptied when opened, then written
    kAtomically,  // replaced whole at the end (a reader sees the old file or the new one)
  };

  // Opens `path` for writing; for kAtomically only checks that its directory
  // takes a new file, since the file itself must stay as it is until then.
  ExportFile(std::string path, Replace replace);

  const std::string& path() const { return path_; }
  Replace replace() const { return replace_; }
  // "" when open, else the line to print ("truvello: cannot write PATH: REASON").
  const std::string& failure() const { return failure_; }

  // Writes `text` as the whole file and closes it. Returns "" or the line to
  // print. Call at most once.
  std::string write(const std::string& text);

 private:
  std::string path_;
  Replace replace_;
  std::string failure_;
  std::ofstream stream_;
};

// Opens and writes an export at once, for a command whose results are ready
// before any file is named. Returns "" or the line to print.
std::string write_export(const std::string& path, const std::string& text,
                         ExportFile::Replace replace = ExportFile::Replace::kInPlace);

}  // namespace truvello::cli
