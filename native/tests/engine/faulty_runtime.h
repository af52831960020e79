#pragma once

#include <errno.h>

#include <atomic>
#include <optional>
#include <stdexcept>
#include <string>

#include "runtime.h"

namespace truvello::testing {

// A Runtime over System into which a test injects one platform fault at a
// time, and which counts what the run engine asked of it.
class FaultyRuntime final : public Runtime {
 public:
  // Faults.
  std::optional<PlatformError> cpu_failure;
  std::uint32_t cpus = 0;  // 0: ask the system
  std::optional<std::uint64_t> spawn_fails_at;
  std::optional<std::uint64_t> kernel_fails_at;   // a real failed table reservation
  std::optional<std::uint64_t> kernel_throws_at;  // the worker dies before reporting
  std::optional<std::uint64_t> worker_throws_at;  // the worker dies after its loop
  std::atomic<bool>* set_after_work = nullptr;    // stored true as each worker ends

  // Observations.
  std::atomic<int> cpu_calls{0};
  std::atomic<int> spawn_calls{0};
  std::atomic<std::uint64_t> highest_spawn_index{0};
  std::atomic<int> threads_started{0};
  std::atomic<int> threads_ended{0};

  ValueOrError<std::uint32_t, PlatformError> available_cpus() override {
    ++cpu_calls;
    if (cpu_failure) return ValueOrError<std::uint32_t, PlatformError>::error(*cpu_failure);
    if (cpus != 0) return cpus;
    return system_.available_cpus();
  }

  ValueOrError<JoinHandle, PlatformError> spawn(std::uint64_t index, WorkItem work) override {
    ++spawn_calls;
    highest_spawn_index = index;
    if (spawn_fails_at == index) return ValueOrError<JoinHandle, PlatformError>::error(PlatformError::os(EAGAIN));
    const bool throws = worker_throws_at == index;
    return system_.spawn(index, WorkItem([this, throws, work = std::move(work)]() mutable {
                           ++threads_started;
                           struct Ended {
                             std::atomic<int>& count;
                             ~Ended() { ++count; }
                           } ended{threads_ended};
                           work.run();
                           if (set_after_work != nullptr) set_after_work->store(true);
                           if (throws) throw std::runtime_error("injected worker failure");
                         }));
  }

  ValueOrError<Kernel> kernel(std::uint64_t index) override {
    if (kernel_throws_at == index) throw std::runtime_error("injected failure before reporting");
    if (kernel_fails_at == index) return Kernel::new_with_allocator(index, &refuse_table);
    return system_.kernel(index);
  }

  static ValueOrError<Kernel::Table> refuse_table() {
    return ValueOrError<Kernel::Table>::error(
        "memory allocation failed because the memory allocator returned an error");
  }

 private:
  System system_;
};

}  // namespace truvello::testing
