#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>

#include "kernel.h"

// This test binary replaces the global allocation functions so that a test
// can count the allocations a piece of code makes and can make large
// reservations fail the way an exhausted allocator would. Both are off
// unless a test switches them on, for its own thread only.
//
// The thread sanitizer's runtime links in global allocation functions of its
// own, which cannot be replaced a second time; there the probing tests skip.
#if defined(__SANITIZE_THREAD__)
#define TRUVELLO_ALLOCATION_PROBE 0
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TRUVELLO_ALLOCATION_PROBE 0
#endif
#endif
#ifndef TRUVELLO_ALLOCATION_PROBE
#define TRUVELLO_ALLOCATION_PROBE 1
#endif

namespace {

thread_local std::size_t t_allocations = 0;
thread_local std::size_t t_refuse_from = std::numeric_limits<std::size_t>::max();

[[maybe_unused]] void* allocate(std::size_t size) {
  if (size >= t_refuse_from) return nullptr;
  ++t_allocations;
  return std::malloc(size == 0 ? 1 : size);
}

}  // namespace

#if TRUVELLO_ALLOCATION_PROBE

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif

namespace truvello {
namespace {

constexpr char kAllocationFailed[] = "memory allocation failed because the memory allocator returned an error";

#define SKIP_WITHOUT_ALLOCATION_PROBE() \
  if (!TRUVELLO_ALLOCATION_PROBE) GTEST_SKIP() << "global allocation functions cannot be replaced here"

// While alive, counts this thread's allocations and refuses every request of
// at least `refuse_from` bytes.
class AllocationProbe {
 public:
  explicit AllocationProbe(std::size_t refuse_from = std::numeric_limits<std::size_t>::max()) {
    t_allocations = 0;
    t_refuse_from = refuse_from;
  }
  ~AllocationProbe() { t_refuse_from = std::numeric_limits<std::size_t>::max(); }
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;

  std::size_t allocations() const { return t_allocations; }
};

constexpr std::size_t kTableBytes = Kernel::kTableWords * sizeof(std::uint64_t);

TEST(KernelAllocation, TableIsReservedEmptyWithExactCapacity) {
  auto table = allocate_table();
  ASSERT_TRUE(table.ok());
  EXPECT_EQ(table.value().size(), 0u);
  EXPECT_EQ(table.value().capacity(), Kernel::kTableWords);
}

TEST(KernelAllocation, RefusedReservationIsAMessageNotATermination) {
  SKIP_WITHOUT_ALLOCATION_PROBE();
  std::string table_message;
  std::string kernel_message;
  bool kernel_built = true;
  {
    AllocationProbe probe(kTableBytes);
    auto table = allocate_table();
    ASSERT_FALSE(table.ok());
    table_message = table.message();
    auto kernel = Kernel::new_with_allocator(0);
    kernel_built = kernel.ok();
    if (!kernel_built) kernel_message = kernel.message();
  }
  EXPECT_EQ(table_message, kAllocationFailed);
  EXPECT_FALSE(kernel_built);
  EXPECT_EQ(kernel_message, kAllocationFailed);
}

ValueOrError<Kernel::Table> failing_allocator() { return ValueOrError<Kernel::Table>::error(kAllocationFailed); }
ValueOrError<Kernel::Table> failing_allocator_with_other_text() {
  return ValueOrError<Kernel::Table>::error("table refused");
}

TEST(KernelAllocation, FailingAllocatorMessageIsReturnedUnchanged) {
  auto kernel = Kernel::new_with_allocator(0, &failing_allocator);
  ASSERT_FALSE(kernel.ok());
  EXPECT_EQ(kernel.message(), kAllocationFailed);

  auto other = Kernel::new_with_allocator(0, &failing_allocator_with_other_text);
  ASSERT_FALSE(other.ok());
  EXPECT_EQ(other.message(), "table refused");
}

// A worker builds its kernel once and then only steps it; the table is the
// one allocation, and a step must never reach the allocator.
TEST(KernelAllocation, OnlyTheTableIsAllocatedAndStepsAllocateNothing) {
  SKIP_WITHOUT_ALLOCATION_PROBE();
  std::size_t construction_allocations = 0;
  std::size_t step_allocations = 0;
  bool built = false;
  {
    AllocationProbe probe;
    auto kernel = Kernel::new_with_allocator(1);
    construction_allocations = probe.allocations();
    built = kernel.ok();
    if (built) {
      AllocationProbe steps;
      for (int s = 0; s < 16; ++s) kernel.value().step();
      step_allocations = steps.allocations();
    }
  }
  ASSERT_TRUE(built);
  EXPECT_EQ(construction_allocations, 1u);
  EXPECT_EQ(step_allocations, 0u);
}

}  // namespace
}  // namespace truvello
