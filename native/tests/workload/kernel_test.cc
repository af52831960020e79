#include "kernel.h"
#include "built_kernel.h"

#include <gtest/gtest.h>

#include <string>

namespace truvello {
namespace {

using testing::build;

TEST(KernelReference, Seed0Construction) {
  Kernel k = build(0);
  ASSERT_EQ(k.table().size(), Kernel::kTableWords);
  EXPECT_EQ(k.table().capacity(), Kernel::kTableWords);
  EXPECT_EQ(k.table()[0], 0x0d83b3e29a21487aull);
  EXPECT_EQ(k.table()[1], 0x6bf22468cc7011ddull);
  EXPECT_EQ(k.table()[2], 0xb02fc9d94b6bba92ull);
  EXPECT_EQ(k.table()[32767], 0x3859cf78698e1dc7ull);
  EXPECT_EQ(std::string(k.text().begin(), k.text().begin() + 32), "25z4180y22e7y+1e7450x7.165630332");
  EXPECT_EQ(k.state(), 0x2152e16fd35a4ae8ull);
}

TEST(KernelReference, Seed0Steps) {
  Kernel k = build(0);
  EXPECT_EQ(k.step(), 0x2c1b8d85cdd1e98dull);
  EXPECT_EQ(k.step(), 0x3e9e98d168107827ull);
  EXPECT_EQ(k.step(), 0x1748394bd1000b56ull);
  EXPECT_EQ(k.state(), 0x1748394bd1000b56ull);
}

TEST(KernelReference, Seed1) {
  Kernel k = build(1);
  EXPECT_EQ(k.table()[0], 0x102aceb9af8e2597ull);
  EXPECT_EQ(k.state(), 0x29754429088a5a7full);
  EXPECT_EQ(k.step(), 0xfcf7653045054d5eull);
  EXPECT_EQ(k.step(), 0x397eb24bfa0bb660ull);
  EXPECT_EQ(k.step(), 0x7564fde9aad28c50ull);
}

TEST(KernelReference, Seed2) {
  Kernel k = build(2);
  EXPECT_EQ(k.step(), 0x595a814b14854718ull);
  EXPECT_EQ(k.step(), 0x06e3625e5cecada9ull);
  EXPECT_EQ(k.step(), 0x8d9cca42ee6eaf56ull);
}

// The checksums a one-worker run leaves after one and two batches of 8.
TEST(KernelReference, Seed0BatchChecksums) {
  Kernel k = build(0);
  std::uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r = k.step();
  EXPECT_EQ(r, 0x070292832ec5c131ull);
  for (int i = 0; i < 8; ++i) r = k.step();
  EXPECT_EQ(r, 0xc09b3fa23162b565ull);
}

}  // namespace
}  // namespace truvello
