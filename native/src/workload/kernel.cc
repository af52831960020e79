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

// Hides a value's origin from the optimiser, so that an expression computed
// early on purpose is not folded back into a later, longer one.
inline void opaque(std::uint64_t& value) { asm("" : "+r"(value)); }

// 256 dependent multiply-and-mix rounds.
inline std::uint64_t mix(std::uint64_t x) {
  for (std::uint64_t r = 0; r < 256; ++r) {
    x += r ^ kStepAddend;
    x = (std::rotl(x, 17) ^ x) * kStepMultiplier;
    x ^= x >> 29;
  }
  return x;
}

struct Scan {
  std::uint64_t x;
  unsigned q;
};

// The scanner's actions on x. Only their latency is on the step's critical
// path: 10 * x + d becomes two address computations (5 * x, then 2 * that
// + d) rather than a multiply.
inline std::uint64_t add_digit(std::uint64_t x, unsigned d) { return x * 10 + d; }
inline std::uint64_t fold_high(std::uint64_t x) { return x ^ (x >> 11); }
inline std::uint64_t absorb_other(std::uint64_t x, unsigned c) { return std::rotl(x, 61) ^ c; }
inline bool is_separator(unsigned c) { return c == '\n' || c == ' ' || c == ';'; }
inline bool is_sign(unsigned c) { return c == '+' || c == '-'; }
inline bool is_point(unsigned c) { return c == ',' || c == '.'; }
inline bool is_exponent(unsigned c) { return c == 'e' || c == 'E'; }

// Runs the four-state scanner over [p, end), starting in state x & 3.
//
// The state lives in the program counter: each state has its own block of
// conditional branches, digits first since they are 20 of the 32 alphabet
// entries, and tests only the classes that mean something in it. A state
// variable makes compilers emit a jump table or branch-free selection over
// all cells, which puts several extra cycles per byte on the dependency chain
// through x; here a byte costs only its own action, and the branch predictor
// gets per-state branch sites to learn the fixed text by.
inline Scan scan_text(std::uint64_t x, const std::uint8_t* p, const std::uint8_t* end) {
  unsigned c = 0;
  unsigned d = 0;
  switch (x & 3) {
    case 0:
      goto after_separator;
    case 1:
      goto in_number;
    case 2:
      goto after_point;
    default:
      goto in_fraction;
  }

after_separator:  // q = 0
  if (p == end) return {x, 0};
  c = *p++;
  d = c - '0';
  if (d < 10) {
    x = add_digit(x, d);
    goto in_number;
  }
  if (is_separator(c)) {
    x = fold_high(x);
    goto after_separator;
  }
  if (is_sign(c)) {
    x ^= c;
    goto in_number;
  }
  x = absorb_other(x, c);
  goto after_separator;

in_number:  // q = 1
  if (p == end) return {x, 1};
  c = *p++;
  d = c - '0';
  if (d < 10) {
    x = add_digit(x, d);
    goto in_number;
  }
  if (is_separator(c)) {
    x = fold_high(x);
    goto after_separator;
  }
  if (is_point(c)) {
    x = std::rotl(x, 7);
    goto after_point;
  }
  if (is_exponent(c)) {
    x += 97;
    goto after_separator;
  }
  x = absorb_other(x, c);
  goto after_separator;

after_point:  // q = 2
  if (p == end) return {x, 2};
  c = *p++;
  d = c - '0';
  if (d < 10) {
    x = add_digit(x, d);
    goto in_fraction;
  }
  if (is_separator(c)) {
    x = fold_high(x);
    goto after_separator;
  }
  x = absorb_other(x, c);
  goto after_separator;

in_fraction:  // q = 3
  if (p == end) return {x, 3};
  c = *p++;
  d = c - '0';
  if (d < 10) {
    x = add_digit(x, d);
    goto in_number;
  }
  if (is_separator(c)) {
    x = fold_high(x);
    goto after_separator;
  }
  if (is_exponent(c)) {
    x += 97;
    goto after_separator;
  }
  x = absorb_other(x, c);
  goto after_separator;
}

// 1024 dependent read-modify-writes; returns the accumulator.
inline std::uint64_t walk_table(std::uint64_t x, std::uint64_t* table) {
  std::uint64_t acc = x;
  std::uint64_t i = x & kIndexMask;
  for (std::uint64_t k = 0; k < 1024; ++k) {
    const std::uint64_t v = table[i];
    const std::uint64_t rotated = std::rotl(acc + v, 13);
    acc = rotated ^ k;
    table[i] = (acc ^ kWalkConstant) + v;
    // The next index is (v ^ acc) & mask. Written as rotated ^ (v ^ k), the
    // part in brackets is ready as soon as v is, so only one xor and the mask
    // lie between the rotation and the next load.
    std::uint64_t v_k = v ^ k;
    opaque(v_k);
    i = (rotated ^ v_k) & kIndexMask;
  }
  return acc;
}

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
  const std::uint64_t mixed = mix(state_);
  const Scan scan = scan_text(mixed, text_.data(), text_.data() + text_.size());
  std::uint64_t result = walk_table(scan.x, table_.data()) ^ scan.q;
  keep(result);
  state_ = result;
  return result;
}

}  // namespace truvello
