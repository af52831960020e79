#include "timing.h"

namespace truvello {
namespace {

std::string render(const Instant& i) {
  return "Instant { secs: " + std::to_string(i.secs) + ", nanos: " + std::to_string(i.nanos) + " }";
}

}  // namespace

std::string to_string(const Timing& timing) {
  return "Timing { start: " + render(timing.start) + ", warm_end: " + render(timing.warm_end) +
         ", end: " + render(timing.end) + " }";
}

}  // namespace truvello
