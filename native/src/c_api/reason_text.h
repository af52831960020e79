#pragma once

#include <string>
#include <vector>

namespace truvello {

// A report's reason as the C string the host reads: a NUL byte inside would
// cut the text short, so each becomes a space; one terminator is appended.
// An empty reason gives "" (never a null pointer).
std::vector<char> reason_text(const std::string& reason);

}  // namespace truvello
