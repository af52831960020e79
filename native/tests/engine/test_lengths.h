#pragma once

#include <stdexcept>
#include <utility>

#include "run_lengths.h"

namespace truvello::testing {

// Lengths for a test's run, from seconds as a host would give them. Asking
// for lengths that are refused is a mistake in the test itself, so it throws
// and the test fails there.
inline RunLengths lengths(double warmup_seconds, double measurement_seconds) {
  auto made = RunLengths::from_seconds(warmup_seconds, measurement_seconds);
  if (!made.ok()) throw std::invalid_argument(made.message());
  return std::move(made).value();
}

}  // namespace truvello::testing
