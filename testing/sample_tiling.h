#pragma once

// The samples of a run tile its measurement window: each begins where the
// one before it ended (the first at 0), has a positive length and a rate of
// ops / dt, and together they end at the measured time and add up to the
// run's operations. Written once for every shape a sample comes in (the
// engine's, the C record, one read back from a document): anything with t,
// dt, ops and rate.
#include <cmath>
#include <cstdint>
#include <string>

namespace truvello::testing {

struct TilingTolerance {
  double boundary_seconds = 1e-9;  // a sample's start against the previous end
  double rate_relative = 0.0;      // 0: the rate is exactly ops / dt
  bool exact_end = true;           // the last end is exactly the measured time
};

// The first problem found, or "" when the samples tile the window. No
// samples at all are not checked: a run stopped before its window has none,
// and callers that expect samples say so themselves.
template <class Samples>
std::string tiling_problem(const Samples& samples, double measured_seconds, std::uint64_t total_ops,
                           TilingTolerance tolerance = {}) {
  double previous_end = 0.0;
  std::uint64_t ops = 0;
  std::size_t index = 0;
  for (const auto& s : samples) {
    const std::string which = "sample " + std::to_string(index++) + ": ";
    if (!(s.dt > 0.0)) return which + "dt is not positive";
    if (!(std::fabs((s.t - s.dt) - previous_end) <= tolerance.boundary_seconds)) {
      return which + "does not begin where the previous one ended";
    }
    const double rate = static_cast<double>(s.ops) / s.dt;
    if (tolerance.rate_relative == 0.0 ? s.rate != rate
                                       : !(std::fabs(s.rate - rate) <= tolerance.rate_relative * rate + 1e-9)) {
      return which + "rate is not ops / dt";
    }
    previous_end = s.t;
    ops += s.ops;
  }
  if (index == 0) return "";
  const bool at_end = tolerance.exact_end ? previous_end == measured_seconds
                                          : std::fabs(previous_end - measured_seconds) <= tolerance.boundary_seconds;
  if (!at_end) return "samples do not end at the measured time";
  if (ops != total_ops) return "sample ops do not add up to the run's operations";
  return "";
}

}  // namespace truvello::testing
