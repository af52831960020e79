#include "reference_kernel.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "built_kernel.h"
#include "kernel.h"

namespace truvello {
namespace {

using testing::ReferenceKernel;

using testing::build;

// Seeds of ordinary workers and a few with unusual bit patterns.
constexpr std::uint64_t kSeeds[] = {
    0, 1, 2, 3, 7, 0x00000000ffffffffull, 0x8000000000000000ull, 0xffffffffffffffffull, 0x123456789abcdef0ull};
constexpr int kStepsPerSeed = 200;

TEST(KernelAgainstReference, ConstructionMatches) {
  for (std::uint64_t seed : kSeeds) {
    SCOPED_TRACE(seed);
    const Kernel kernel = build(seed);
    const ReferenceKernel model(seed);
    EXPECT_TRUE(kernel.table() == model.table());
    EXPECT_TRUE(kernel.text() == model.text());
    EXPECT_EQ(kernel.state(), model.state());
  }
}

// Results and the whole table must agree step after step: the table carries
// every earlier step's writes into the next one, so a wrong write surfaces
// here even when it happens not to change the result of its own step.
TEST(KernelAgainstReference, StepsMatchOverManySteps) {
  for (std::uint64_t seed : kSeeds) {
    SCOPED_TRACE(seed);
    Kernel kernel = build(seed);
    ReferenceKernel model(seed);
    for (int s = 0; s < kStepsPerSeed; ++s) {
      const std::uint64_t expected = model.step();
      ASSERT_EQ(kernel.step(), expected) << "step " << s;
      ASSERT_EQ(kernel.state(), expected) << "step " << s;
      if (s % 50 == 49) {
        ASSERT_TRUE(kernel.table() == model.table()) << "step " << s;
      }
    }
    EXPECT_TRUE(kernel.text() == model.text());
  }
}

// The comparison above only means something if the texts drove the scanner
// through every cell of its transition table, from every starting state.
TEST(KernelAgainstReference, ComparedStepsReachEveryScannerTransition) {
  ReferenceKernel model(0);
  for (int s = 0; s < kStepsPerSeed; ++s) model.step();
  for (int q = 0; q < ReferenceKernel::kStates; ++q) EXPECT_GT(model.starts()[q], 0u) << "start state " << q;
  for (int k = 0; k < ReferenceKernel::kClasses; ++k) {
    for (int q = 0; q < ReferenceKernel::kStates; ++q) {
      EXPECT_GT(model.visits()[k][q], 0u) << "class " << k << " state " << q;
    }
  }
}

}  // namespace
}  // namespace truvello
