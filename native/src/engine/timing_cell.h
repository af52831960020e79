#pragma once

#include <optional>
#include <stdexcept>

#include "timing.h"

namespace truvello {

// A run's Timing, set exactly once by the driver and read-only afterwards.
//
// Call-count rules: `set` once, before the start gate opens; a second `set`
// is a fatal internal error. `get` only after passing the gate on the path
// where the driver did not set the stop flag.
//
// Memory ordering: none of its own. The cell is written before the gate
// opens and read after it, so the gate's mutex publishes it; readers take no
// lock.
class TimingCell {
 public:
  void set(const Timing& timing) {
    if (value_) throw std::logic_error("timing is initialized exactly once");
    value_ = timing;
  }

  const Timing& get() const {
    if (!value_) throw std::logic_error("timing read before it was initialized");
    return *value_;
  }

 private:
  std::optional<Timing> value_;
};

}  // namespace truvello
