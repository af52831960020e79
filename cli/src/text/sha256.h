#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace truvello::cli {

// SHA-256 (FIPS 180-4) of a short text, for naming a machine by a digest of
// its machine id instead of the id itself. Not for anything bulk: it hashes
// in one go.
std::array<std::uint8_t, 32> sha256(std::string_view data);

// The digest as 64 lowercase hex digits.
std::string sha256_hex(std::string_view data);

}  // namespace truvello::cli
