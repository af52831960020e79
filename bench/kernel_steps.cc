// Builds the seed-0 kernel and runs the number of steps given as the only
// argument, then prints the last result. Meant for instruction counting:
// the difference between two step counts is the cost of the extra steps.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "kernel.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s STEPS\n", argv[0]);
    return 2;
  }
  char* end = nullptr;
  const unsigned long long steps = std::strtoull(argv[1], &end, 10);
  if (end == argv[1] || *end != '\0') {
    std::fprintf(stderr, "not a step count: %s\n", argv[1]);
    return 2;
  }
  auto built = truvello::Kernel::new_with_allocator(0);
  if (!built.ok()) {
    std::fprintf(stderr, "%s\n", built.message().c_str());
    return 1;
  }
  truvello::Kernel kernel = std::move(built).value();
  std::uint64_t result = kernel.state();
  for (unsigned long long i = 0; i < steps; ++i) result = kernel.step();
  std::printf("%llu steps, result 0x%016" PRIx64 "\n", steps, result);
  return 0;
}
