#pragma once

// Rules that decide what a published score says, shared by the library that
// applies them and the command and tests that word or check them, so that
// the threshold in a message is always the one that set the flag.

namespace truvello {

// A run whose coefficient of variation is above this many per cent (strictly)
// is flagged unstable in its result record.
inline constexpr double kUnstableCvPercent = 10.0;

}  // namespace truvello
