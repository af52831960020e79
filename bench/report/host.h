#pragma once

#include <optional>
#include <string>

namespace truvello::report {

// What the report says about the machine it ran on, and the process readings
// some figures are made of. Linux only: these read /proc and run lscpu.

// The "Model name:" line of lscpu, or the first "model name" of
// /proc/cpuinfo when lscpu is missing.
std::string cpu_model_line();

unsigned online_cpus();

// The three load averages as the kernel prints them, e.g. "0.08 0.21 0.30".
std::string load_average_text();
std::optional<double> load_average_one_minute();

// Anonymous resident memory of this process (RssAnon): what its threads,
// stacks and allocations hold in RAM, without the shared library code the
// first run pages in. Reads /proc without allocating, so it may be called
// from inside a progress callback.
std::optional<long long> anonymous_resident_bytes();

// CPU time used so far by the calling thread.
double thread_cpu_seconds();

// The scheduler's own accounting of threads: time spent on a CPU and time
// spent runnable but waiting for one. Waiting is what other work on the
// machine takes away, so it explains a low wall-clock rate.
struct ThreadTimes {
  double on_cpu_seconds = 0.0;
  double waiting_seconds = 0.0;
  unsigned threads = 0;
  int last_cpu = -1;  // where the first of the threads ran last
};

// Summed over this process's threads named "truvello-<n>" (the workers).
std::optional<ThreadTimes> worker_thread_times();
// The calling thread alone.
std::optional<ThreadTimes> this_thread_times();

// Keeps the calling thread on one CPU from now on.
bool pin_this_thread(int cpu);

}  // namespace truvello::report
