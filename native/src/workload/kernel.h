#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "value_or_error.h"

namespace truvello {

// The benchmark's unit of work. One call of step() is one counted operation:
// 256 dependent mixing rounds, a scan of a 4096-byte numeric text through a
// four-state scanner, and 1024 dependent read-modify-writes at data-dependent
// positions of a private 256 KiB table. Deterministic and platform-independent:
// kernels built from the same seed step through the same results.
//
// A kernel belongs to the one thread that built it; it is never shared or
// copied (moves are fine).
class Kernel {
 public:
  static constexpr std::size_t kTableWords = 32768;
  static constexpr std::size_t kTextBytes = 4096;

  using Table = std::vector<std::uint64_t>;
  // Reserves an empty table with room for exactly kTableWords words.
  using TableAllocator = ValueOrError<Table> (*)();

  // Builds a kernel from `seed`, taking its empty table from `allocate`. A
  // failed reservation returns the allocator's message and no kernel.
  static ValueOrError<Kernel> new_with_allocator(std::uint64_t seed, TableAllocator allocate);
  static ValueOrError<Kernel> new_with_allocator(std::uint64_t seed);  // allocate_table

  Kernel(Kernel&&) noexcept = default;
  Kernel& operator=(Kernel&&) noexcept = default;
  Kernel(const Kernel&) = delete;
  Kernel& operator=(const Kernel&) = delete;

  // One operation. Allocates nothing, locks nothing, makes no system call.
  std::uint64_t step();

  const Table& table() const { return table_; }
  const std::array<std::uint8_t, kTextBytes>& text() const { return text_; }
  std::uint64_t state() const { return state_; }

 private:
  explicit Kernel(Table table) : table_(std::move(table)) {}

  Table table_;
  std::array<std::uint8_t, kTextBytes> text_{};
  std::uint64_t state_ = 0;
};

// Reserves an empty table with capacity for exactly Kernel::kTableWords words,
// or returns "memory allocation failed because the memory allocator returned
// an error".
ValueOrError<Kernel::Table> allocate_table();

}  // namespace truvello
