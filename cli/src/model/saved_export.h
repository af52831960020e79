#pragma once

#include <string>

#include "model/invocation.h"

namespace truvello::cli {

// A document read back. Every run of `invocation` carries its place in its
// benchmark's series (RunOutcome::repeat, 1 for every run of a version 1
// document), the warnings the document recorded for it, and its workers as
// the OS kernel saw them when the document has them ("observed").
struct SavedExport {
  int schema_version = 0;
  std::string command_name;  // "truvello", or another writer such as "truvello-python"
  Invocation invocation;
};

}  // namespace truvello::cli
