#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// Bumped whenever a field changes meaning or disappears; new fields may be
// added without it. Version 2: a benchmark may run several times, each run
// carrying its place in the series ("repeat"); readers accept 1 and 2.
inline constexpr int kJsonSchemaVersion = 2;

// The whole invocation as one JSON document: versions, machine, and per run
// its configuration, every field of the result record, the reason, derived
// figures, warnings, the workers as the OS kernel saw them ("observed") and
// all samples. Non-finite numbers become null.
nlohmann::json invocation_json(const InvocationView& view);

// The document as text, indented, with a final newline.
std::string json_text(const InvocationView& view);

}  // namespace truvello::cli
