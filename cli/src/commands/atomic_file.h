#pragma once

#include <string>

namespace truvello::cli {

// Replaces `path` with `text` so that a reader sees the old file or the new
// one, never part of either: the text goes to a temporary file in the same
// directory, is flushed to disk and renamed over `path`; the temporary file
// is removed when any step fails. Returns "" or the line to print on stderr
// ("truvello: cannot write PATH: reason").
std::string write_file_atomically(const std::string& path, const std::string& text);

// Whether a file could be created next to `path`: "" or the line to print,
// so that a mistyped directory is found before minutes of measuring.
std::string check_directory_writable(const std::string& path);

}  // namespace truvello::cli
