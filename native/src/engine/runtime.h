#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "kernel.h"
#include "platform.h"
#include "threads.h"
#include "value_or_error.h"

namespace truvello {

// Everything the run engine needs from the machine, behind one narrow seam so
// that tests can inject a failing CPU count, thread start or kernel build.
// Implementations must be safe to call from several threads at once:
// `kernel` is called concurrently by every worker.
class Runtime {
 public:
  virtual ~Runtime() = default;

  // The number of CPUs to run one worker on each, at least 1. Called once per
  // run, on the driver's thread, and only for the all-CPU benchmark.
  virtual ValueOrError<std::uint32_t, PlatformError> available_cpus() = 0;

  // Starts a thread for worker `index` running `work` once. On failure `work`
  // has been destroyed without running. Called on the driver's thread for
  // indices 0, 1, 2, ... in order.
  virtual ValueOrError<JoinHandle, PlatformError> spawn(std::uint64_t index, WorkItem work) = 0;

  // Builds the kernel of worker `index`, on that worker's own thread. A
  // refused table reservation reads "memory allocation failed because the
  // memory allocator returned an error", the workload's message unchanged.
  virtual ValueOrError<Kernel> kernel(std::uint64_t index) = 0;
};

// The production Runtime over the platform layer: the CPU count, threads
// named "truvello-<index>" with 2 MiB stacks, and kernels seeded by index.
// Stateless.
class System final : public Runtime {
 public:
  static constexpr std::size_t kStackSize = 2 * 1024 * 1024;

  ValueOrError<std::uint32_t, PlatformError> available_cpus() override;
  ValueOrError<JoinHandle, PlatformError> spawn(std::uint64_t index, WorkItem work) override;
  ValueOrError<Kernel> kernel(std::uint64_t index) override;

  // "truvello-" followed by the index in decimal.
  static std::string thread_name(std::uint64_t index);
};

}  // namespace truvello
