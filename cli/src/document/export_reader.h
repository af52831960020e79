#pragma once

// Reads the command's own JSON documents (--json, --export-json) back into
// the Invocation they were written from, so that a saved run can be shown,
// compared or rendered again on any machine.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "document/document_file.h"
#include "model/saved_export.h"

namespace truvello::cli {

// Either the document or one line saying what is wrong with it; a field is
// named by its JSON pointer ("/runs/0/samples/3/dt: must be greater than 0").
struct ExportRead {
  std::optional<SavedExport> saved;
  std::string error;
};

// Nesting deeper than any document of ours has; refused while parsing.
inline constexpr int kMaxExportDepth = 16;

// The schema versions this reader understands.
inline constexpr int kOldestReadableSchema = 1;
inline constexpr int kNewestReadableSchema = 2;

// Checks every field the command uses: types, ranges, finite figures, and
// that samples, totals and rates agree with each other, so that nothing
// downstream can be handed a figure the library could not have produced.
ExportRead parse_export(std::string_view text);

// Reads a file of at most kMaxExportBytes and parses it; the error then
// starts with the path. Refuses directories and other non-regular files
// without blocking on them.
ExportRead read_export(const std::string& path);

}  // namespace truvello::cli
