#pragma once

#include <string>

#include "document/export_reader.h"

namespace truvello::cli {

// Reads a saved document as `report` and `compare` take it: a path, or the
// path of an A/B series' document followed by "#A" or "#B" (when no file of
// that whole name exists) for one of its sides as a series of its own: that
// side's runs, numbered again from 1 in the order they ran, and nothing of
// the other side. The error names the path as given.
ExportRead read_export_or_side(const std::string& path);

}  // namespace truvello::cli
