#pragma once

#include <cstddef>
#include <string>

#include "runtime.h"

namespace truvello {

// The production Runtime over POSIX: the online processor count, threads
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
