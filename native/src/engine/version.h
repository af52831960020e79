#pragma once

#include "truvello_version.h"

namespace truvello {

// The library's version text, as truvello_version returns it and every
// RunReport carries it.
inline constexpr const char kVersion[] = TRUVELLO_VERSION_TEXT;

// The C interface version.
inline constexpr unsigned kAbiVersion = 1;

}  // namespace truvello
