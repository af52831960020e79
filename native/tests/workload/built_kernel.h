#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "kernel.h"

namespace truvello::testing {

// A kernel built through the production allocator; a failed build fails the
// calling test.
inline Kernel build(std::uint64_t seed) {
  auto built = Kernel::new_with_allocator(seed);
  EXPECT_TRUE(built.ok());
  return std::move(built).value();
}

}  // namespace truvello::testing
