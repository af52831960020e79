#pragma once

#include <cstdint>
#include <optional>

#include "duration.h"

namespace truvello {

// A reading of the monotonic clock: signed seconds plus nanoseconds.
struct Instant {
  std::int64_t secs = 0;
  std::uint32_t nanos = 0;

  // The monotonic clock (CLOCK_MONOTONIC: on Linux it does not advance while
  // the machine is suspended).
  static Instant now();

  // Overflow-checked: no result when the sum's seconds do not fit in i64.
  std::optional<Instant> checked_add(Duration d) const;

  // The length from `earlier` to this instant; zero when `earlier` is later.
  Duration saturating_since(Instant earlier) const;

  friend auto operator<=>(const Instant&, const Instant&) = default;
};

}  // namespace truvello
