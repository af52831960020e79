#pragma once

// The cases the C++ and the Python tests share, in testing/vectors: each rule
// both sides implement is pinned there once, so that a rule changed on one
// side only fails that side's tests against the same file.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace truvello::testing {

// One file of testing/vectors, parsed. Throws std::runtime_error naming the
// file when it cannot be read or is not JSON.
nlohmann::json test_vectors(std::string_view file);

// A reason text of the library by its name in reasons.json, the one table
// every test that pins a reason reads. Throws for a name the table lacks.
std::string library_reason(std::string_view name);

// The fixed start of a reason whose end the library fills in ("worker
// initialization failed: " and what the worker said), by its name.
std::string library_reason_prefix(std::string_view name);

}  // namespace truvello::testing
