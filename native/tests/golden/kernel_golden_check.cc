// Checks the workload against its reference values: kernels built from the
// same seed must do the same work on every architecture and OS, so one table
// holds for all of them. Prints each row that differs and exits 1; with
// --print, prints the table as this machine computes it instead.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "kernel.h"
#include "kernel_golden.h"

namespace {

using truvello::Kernel;

// FNV-1a over values, not over memory, so that it reads the same on either
// byte order.
std::uint64_t fingerprint(const Kernel& kernel) {
  std::uint64_t h = 0xcbf29ce484222325ull;
  for (std::uint64_t word : kernel.table()) h = (h ^ word) * 0x100000001b3ull;
  for (std::uint8_t byte : kernel.text()) h = (h ^ byte) * 0x100000001b3ull;
  return h;
}

truvello::testing::GoldenRow compute(std::uint64_t seed, std::uint32_t steps) {
  auto built = Kernel::new_with_allocator(seed);
  if (!built.ok()) {
    std::fprintf(stderr, "cannot build the kernel of seed %" PRIu64 ": %s\n", seed, built.message().c_str());
    return {seed, steps, 0, 0};
  }
  Kernel kernel = std::move(built).value();
  for (std::uint32_t s = 0; s < steps; ++s) kernel.step();
  return {seed, steps, kernel.state(), fingerprint(kernel)};
}

}  // namespace

int main(int argc, char** argv) {
  const bool print = argc == 2 && std::strcmp(argv[1], "--print") == 0;
  int failed = 0;
  for (const auto& want : truvello::testing::kKernelGolden) {
    const auto got = compute(want.seed, want.steps);
    if (print) {
      std::printf("    {0x%016" PRIx64 "ull, %" PRIu32 ", 0x%016" PRIx64 "ull, 0x%016" PRIx64 "ull},\n", got.seed,
                  got.steps, got.state, got.fingerprint);
    } else if (got.state != want.state || got.fingerprint != want.fingerprint) {
      ++failed;
      std::fprintf(stderr,
                   "seed 0x%016" PRIx64 " after %" PRIu32 " steps: state 0x%016" PRIx64 ", fingerprint 0x%016" PRIx64
                   "; expected 0x%016" PRIx64 ", 0x%016" PRIx64 "\n",
                   want.seed, want.steps, got.state, got.fingerprint, want.state, want.fingerprint);
    }
  }
  if (!print) {
    const auto rows = sizeof truvello::testing::kKernelGolden / sizeof truvello::testing::kKernelGolden[0];
    std::printf("%zu reference rows, %d differ\n", rows, failed);
  }
  return failed == 0 ? 0 : 1;
}
