#pragma once

#include <optional>

#include "clock.h"
#include "value_or_error.h"

namespace truvello {

// Seconds as the host gives them, turned into a duration without any floating
// point rounding: the double's exact binary value is split into whole seconds
// and a fraction, and the fraction is rounded to the nearest nanosecond, ties
// to even. nullopt for values below 0.0, NaN, +infinity and 2^64 or more;
// -0.0 gives zero.
std::optional<Duration> duration_from_seconds(double seconds);

// How long a run warms up and measures, in the two forms a run needs: the
// host's seconds bit for bit, which the result reports back (the host gets its
// own numbers, not the rounded durations), and the durations derived from them
// once, which the clock runs on. One value carries both from validation to the
// report, so that no step converts back or has to put the host's numbers back
// in.
//
// Only `from_seconds` builds one, and it alone decides whether the lengths can
// be run: a RunLengths always has a measurement of at least one nanosecond, so
// nothing downstream asks again.
class RunLengths {
 public:
  // Refused, with the reason text the run reports:
  // - "durations must be finite: warmup >= 0, measurement > 0" when either
  //   value does not convert (warm-up first), or when the measurement is not
  //   greater than 0.0 as a double (0.0, -0.0 and NaN fail);
  // - otherwise "measurement duration must be positive" when the measurement
  //   converts to zero (positive, but below half a nanosecond).
  static ValueOrError<RunLengths, const char*> from_seconds(double warmup_seconds, double measurement_seconds);

  double warmup_seconds() const { return warmup_seconds_; }
  double measurement_seconds() const { return measurement_seconds_; }
  Duration warmup() const { return warmup_; }
  Duration measurement() const { return measurement_; }

  // Warm-up plus measurement in seconds of the durations, not of the host's
  // numbers: the planned run time that progress is a share of, on the same
  // clock as the time elapsed.
  double planned_seconds() const { return warmup_.as_seconds() + measurement_.as_seconds(); }

 private:
  RunLengths(double warmup_seconds, double measurement_seconds, Duration warmup, Duration measurement)
      : warmup_seconds_(warmup_seconds),
        measurement_seconds_(measurement_seconds),
        warmup_(warmup),
        measurement_(measurement) {}

  double warmup_seconds_;
  double measurement_seconds_;
  Duration warmup_;
  Duration measurement_;
};

}  // namespace truvello
