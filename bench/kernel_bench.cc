#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>

#include "kernel.h"

namespace {

truvello::Kernel build_or_abort(std::uint64_t seed) {
  auto built = truvello::Kernel::new_with_allocator(seed);
  if (!built.ok()) std::abort();
  return std::move(built).value();
}

// The benchmark's counted operation: one step of the seed-0 kernel, which is
// the kernel a one-worker run steps.
void BM_KernelStep(benchmark::State& state) {
  truvello::Kernel kernel = build_or_abort(0);
  for (auto _ : state) benchmark::DoNotOptimize(kernel.step());
}
BENCHMARK(BM_KernelStep);

// What a worker pays before it reports ready: the table reservation and
// 36864 generator draws.
void BM_KernelConstruction(benchmark::State& state) {
  for (auto _ : state) {
    auto built = truvello::Kernel::new_with_allocator(0);
    benchmark::DoNotOptimize(built);
  }
}
BENCHMARK(BM_KernelConstruction);

}  // namespace

BENCHMARK_MAIN();
