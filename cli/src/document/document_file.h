#pragma once

#include <cstddef>
#include <string>

namespace truvello::cli {

// Larger than any real document (a default run of both benchmarks is about
// 30 KB); the bound keeps a wrong file from being read into memory whole.
inline constexpr std::size_t kMaxExportBytes = std::size_t{64} << 20;

// The whole text of a document file of at most kMaxExportBytes into `text`.
// Returns "" or what is wrong ("is a directory", "cannot open: ...").
// Refuses directories and other non-regular files without blocking on them.
// `modified`, when given, receives the file's modification time.
std::string read_document_file(const std::string& path, std::string& text, long long* modified = nullptr);

}  // namespace truvello::cli
