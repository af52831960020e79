#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "options/invocation.h"

namespace truvello::cli {

// Bumped whenever a field changes meaning or disappears; new fields may be
// added without it.
inline constexpr int kJsonSchemaVersion = 1;

// The whole invocation as one JSON document: versions, machine, and per run
// its configuration, every field of the result record, the reason, derived
// figures, warnings and all samples. Non-finite numbers become null.
nlohmann::json invocation_json(const Invocation& invocation);

// The document as text, indented, with a final newline.
std::string json_text(const Invocation& invocation);

}  // namespace truvello::cli
