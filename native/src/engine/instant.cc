#include "instant.h"

#include <time.h>

namespace truvello {

Instant Instant::now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);  // cannot fail for this clock id
  return Instant{static_cast<std::int64_t>(ts.tv_sec), static_cast<std::uint32_t>(ts.tv_nsec)};
}

std::optional<Instant> Instant::checked_add(Duration d) const {
  std::uint32_t nanos = this->nanos + d.nanos;
  std::uint64_t carry = 0;
  if (nanos >= 1'000'000'000u) {
    nanos -= 1'000'000'000u;
    carry = 1;
  }
  // Exact in 128 bits, then checked against the i64 range.
  const __int128 secs = static_cast<__int128>(this->secs) + d.secs + carry;
  if (secs > INT64_MAX || secs < INT64_MIN) return std::nullopt;
  return Instant{static_cast<std::int64_t>(secs), nanos};
}

Duration Instant::saturating_since(Instant earlier) const {
  if (*this <= earlier) return Duration{};
  // Differences of two i64 values fit in u64.
  std::uint64_t secs = static_cast<std::uint64_t>(this->secs) - static_cast<std::uint64_t>(earlier.secs);
  std::uint32_t nanos = 0;
  if (this->nanos >= earlier.nanos) {
    nanos = this->nanos - earlier.nanos;
  } else {
    secs -= 1;
    nanos = this->nanos + 1'000'000'000u - earlier.nanos;
  }
  return Duration{secs, nanos};
}

}  // namespace truvello
