#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "readiness_queue.h"

namespace truvello {

// `text` between double quotes with debug escaping: a backslash before `"`
// and `\`, tab, CR and LF as \t, \r and \n, other control characters as
// \u{hex}.
std::string debug_quoted(std::string_view text);

// How a failed handshake receive reads in a failure reason: Ok(Err("...")) for
// a worker's error message, Err(RecvError) for a disconnected queue.
std::string debug_rendering(const std::optional<Readiness>& received);

}  // namespace truvello
