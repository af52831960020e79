#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "built_kernel.h"
#include "kernel.h"

namespace truvello {
namespace {

using testing::build;

// Workers with the same index must step through the same states in every run,
// and each worker's kernel must be private to it.
TEST(KernelSeed, SameSeedGivesSameKernelsThatStayIndependent) {
  Kernel a = build(5);
  Kernel b = build(5);
  ASSERT_TRUE(a.table() == b.table());
  ASSERT_TRUE(a.text() == b.text());
  ASSERT_EQ(a.state(), b.state());

  for (int s = 0; s < 10; ++s) ASSERT_EQ(a.step(), b.step()) << "step " << s;
  ASSERT_TRUE(a.table() == b.table());

  const auto table_before = b.table();
  const auto state_before = b.state();
  for (int s = 0; s < 3; ++s) a.step();
  EXPECT_TRUE(b.table() == table_before);
  EXPECT_EQ(b.state(), state_before);
  EXPECT_FALSE(a.table() == b.table());

  // Catching up brings b to exactly where a is.
  for (int s = 0; s < 3; ++s) b.step();
  EXPECT_EQ(a.state(), b.state());
  EXPECT_TRUE(a.table() == b.table());
}

TEST(KernelSeed, DifferentSeedsGiveDifferentKernels) {
  const Kernel a = build(0);
  const Kernel b = build(1);
  EXPECT_FALSE(a.table() == b.table());
  EXPECT_FALSE(a.text() == b.text());
  EXPECT_NE(a.state(), b.state());
}

// This seed cancels the seed mixing constant, so the generator starts at 0
// and never leaves it.
TEST(KernelSeed, SeedThatZeroesTheGenerator) {
  Kernel k = build(0x9e3779b97f4a7c15ull);
  ASSERT_EQ(k.table().size(), Kernel::kTableWords);
  EXPECT_TRUE(std::all_of(k.table().begin(), k.table().end(), [](std::uint64_t w) { return w == 0; }));
  EXPECT_TRUE(std::all_of(k.text().begin(), k.text().end(), [](std::uint8_t c) { return c == '0'; }));
  EXPECT_EQ(k.state(), 0u);

  // The mixing constants get the all-zero kernel moving.
  const std::uint64_t first = k.step();
  EXPECT_NE(first, 0u);
  EXPECT_EQ(k.state(), first);
  EXPECT_TRUE(std::any_of(k.table().begin(), k.table().end(), [](std::uint64_t w) { return w != 0; }));
  const std::uint64_t second = k.step();
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first);
}

}  // namespace
}  // namespace truvello
