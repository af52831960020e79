#include "kernel.h"

#include <bit>
#include <new>

namespace truvello {
namespace {

constexpr std::uint64_t kSeedMix = 0x9e3779b97f4a7c15ull;
constexpr std::uint64_t kDrawMultiplier = 0x2545f4914f6cdd1dull;
constexpr std::uint64_t kStepAddend = 0xa0761d6478bd642full;
constexpr std::uint64_t kStepMultiplier = 0xe7037ed1a0b428dbull;
constexpr std::uint64_t kWalkConstant = 0x8ebc6af09c88c6e3ull;
constexpr std::uint64_t kIndexMask = Kernel::kTableWords - 1;
constexpr char kAlphabet[] = "01234567890123456789 +-.,eE;xyz\n";
static_assert(sizeof(kAlphabet) == 33);

// xorshift64* shifts and multiplier, but the product itself is carried as
// the next state.
inline std::uint64_t draw(std::uint64_t& s) {
  std::uint64_t x = s;
  x ^= x >> 12;
  x ^= x << 25;
  x ^= x >> 27;
  s = x * kDrawMultiplier;
  return s;
}

// Makes the step's result count as observed, so no phase can be folded away.
inline void keep(std::uint64_t& value) { asm volatile("" : "+r"(value)); }

}  // namespace

ValueOrError<Kernel::Table> allocate_table() {
  Kernel::Table table;
  try {
    table.reserve(Kernel::kTableWords);
  } catch (const std::bad_alloc&) {
    return ValueOrError<Kernel::Table>::error(
        "memory allocation failed because the memory allocator returned an error");
  }
  return table;
}

ValueOrError<Kernel> Kernel::new_with_allocator(std::uint64_t seed) {
  return new_with_allocator(seed, &allocate_table);
}

ValueOrError<Kernel> Kernel::new_with_allocator(std::uint64_t seed, TableAllocator allocate) {
  std::uint64_t s = seed ^ kSeedMix;
  auto table = allocate();
  if (!table.ok()) return ValueOrError<Kernel>::error(table.message());
  Kernel kernel(std::move(table).value());
  for (std::size_t i = 0; i < kTableWords; ++i) kernel.table_.push_back(draw(s));
  for (std::size_t j = 0; j < kTextBytes; ++j) kernel.text_[j] = static_cast<std::uint8_t>(kAlphabet[draw(s) & 31]);
  kernel.state_ = s;
  return kernel;
}

std::uint64_t Kernel::step() {
  std::uint64_t x = state_;

  for (std::uint64_t r = 0; r < 256; ++r) {
    x += r ^ kStepAddend;
    x = (std::rotl(x, 17) ^ x) * kStepMultiplier;
    x ^= x >> 29;
  }

  // Branches ordered by frequency: digits are 20 of the 32 alphabet entries.
  unsigned q = static_cast<unsigned>(x & 3);
  for (std::uint8_t c : text_) {
    const unsigned d = static_cast<unsigned>(c) - '0';
    if (d < 10) {
      x = x * 10 + d;
      q = (q == 2) ? 3 : 1;
    } else if (c == '\n' || c == ' ' || c == ';') {
      x ^= x >> 11;
      q = 0;
    } else if ((c == '+' || c == '-') && q == 0) {
      x ^= c;
      q = 1;
    } else if ((c == ',' || c == '.') && q == 1) {
      x = std::rotl(x, 7);
      q = 2;
    } else if ((c == 'e' || c == 'E') && (q == 1 || q == 3)) {
      x += 97;
      q = 0;
    } else {
      x = std::rotl(x, 61) ^ c;
      q = 0;
    }
  }

  std::uint64_t acc = x;
  std::uint64_t* table = table_.data();
  std::uint64_t i = x & kIndexMask;
  for (std::uint64_t k = 0; k < 1024; ++k) {
    const std::uint64_t v = table[i];
    acc = std::rotl(acc + v, 13) ^ k;
    table[i] = (acc ^ kWalkConstant) + v;
    i = (v ^ acc) & kIndexMask;
  }

  std::uint64_t result = acc ^ q;
  keep(result);
  state_ = result;
  return result;
}

}  // namespace truvello
