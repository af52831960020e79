#pragma once

#include <string>

#include "instant.h"

namespace truvello {

// The three instants of a run: the release of the workers, the end of the
// warm-up (start of measurement) and the end of measurement.
struct Timing {
  Instant start;
  Instant warm_end;
  Instant end;
};

// Debug rendering listing start, warm_end and end in this order.
std::string to_string(const Timing& timing);

}  // namespace truvello
