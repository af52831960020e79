#pragma once

namespace truvello::report {

struct LoopRate {
  double ops_per_second = 0.0;      // wall clock, the figure
  double ops_per_cpu_second = 0.0;  // the stepping thread's own CPU time
  double waiting_share = 0.0;       // runnable but not running, of its time
  int cpu = -1;                     // where it ran at the end
};

// The rate a host could get with no harness at all: a fresh seed-0 kernel
// stepped in batches of 8 on a thread of its own, `warmup_seconds` uncounted
// and then `measurement_seconds` counted, timed by the same monotonic clock
// with one reading per batch. Rates of the counted part. With `cpu` >= 0 the
// thread stays on that CPU.
LoopRate tight_loop_rate(double warmup_seconds, double measurement_seconds, int cpu = -1);

// Median nanoseconds per step over `repetitions` runs of about
// `seconds_each`, on the calling thread: what the step microbenchmark
// reports, for when its binary is not at hand.
double measured_step_ns(int repetitions, double seconds_each);

// Wall time of building `workers` kernels at once, one per thread, seeded by
// index as a run's workers are: the slowest thread's construction, seconds.
double kernel_construction_seconds(unsigned workers);

}  // namespace truvello::report
