#pragma once

// The lengths a run takes when the host asks for the defaults. The library
// writes them into truvello_default_config's record and reports them with a
// rejected record; the command words them in its help. The public header
// states the same figures for readers of the C interface, and a test holds
// the library to them.

namespace truvello {

inline constexpr double kDefaultWarmupSeconds = 120.0;
inline constexpr double kDefaultMeasurementSeconds = 60.0;

}  // namespace truvello
