#pragma once

namespace truvello {

// The library's version text, as truvello_version returns it and every
// RunReport carries it.
inline constexpr const char kVersion[] = "0.0.2";

// The C interface version.
inline constexpr unsigned kAbiVersion = 1;

}  // namespace truvello
