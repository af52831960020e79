#pragma once

// Which machine a document is about: its host name, and a stable identity
// that names the machine without revealing its machine id (which some
// software treats as a secret, and which cannot be changed once published).

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace truvello::cli {

// The identity's length in hex digits: 128 bits of the digest.
inline constexpr std::size_t kMachineIdentityDigits = 32;
// The longest host name recorded (the OS kernel allows 64 bytes).
inline constexpr std::size_t kMaxHostName = 255;

// The identity from the text of /etc/machine-id: the first 32 hex digits of
// SHA-256 over "truvello:" and the id. Absent unless the text is 32 hex
// digits (a final line break allowed), as the file holds.
std::optional<std::string> machine_identity(std::string_view machine_id_text);

// Whether a text can be an identity as recorded: 1 to 64 lowercase hex digits.
bool is_machine_identity(std::string_view text);

// A host name as recorded: 1 to kMaxHostName printable ASCII characters
// without spaces; anything else is not recorded.
std::optional<std::string> checked_host_name(std::string_view text);

// This machine's host name and identity, each absent when it cannot be read.
std::optional<std::string> read_host_name();
std::optional<std::string> read_machine_identity();

}  // namespace truvello::cli
