#pragma once

// A deliberately plain model of the workload kernel, written straight from the
// kernel's definition with no tuning: the scanner is an explicit table of
// (character class, scanner state) cells. The tuned Kernel is compared against
// it, so that speed work on Kernel::step can never change what a step computes.

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace truvello::testing {

class ReferenceKernel {
 public:
  enum class Class { kDigit, kSeparator, kSign, kPoint, kExponent, kOther };
  static constexpr int kClasses = 6;
  static constexpr int kStates = 4;

  explicit ReferenceKernel(std::uint64_t seed) : generator_(seed ^ 0x9e3779b97f4a7c15ull) {
    table_.reserve(32768);
    for (int i = 0; i < 32768; ++i) table_.push_back(draw());
    constexpr std::string_view alphabet = "01234567890123456789 +-.,eE;xyz\n";
    for (auto& c : text_) c = static_cast<std::uint8_t>(alphabet[draw() % 32]);
    state_ = generator_;
  }

  std::uint64_t step() {
    std::uint64_t x = state_;
    for (std::uint64_t r = 0; r < 256; ++r) {
      x = x + (r ^ 0xa0761d6478bd642full);
      x = (rotl(x, 17) ^ x) * 0xe7037ed1a0b428dbull;
      x = x ^ (x >> 29);
    }

    int q = static_cast<int>(x % 4);
    ++starts_[q];
    for (std::uint8_t c : text_) {
      const Class k = classify(c);
      const Cell cell = kTransitions[static_cast<int>(k)][q];
      ++visits_[static_cast<int>(k)][q];
      x = apply(cell.action, x, c);
      q = cell.next;
    }

    std::uint64_t acc = x;
    std::uint64_t i = x % 32768;
    for (std::uint64_t k = 0; k < 1024; ++k) {
      const std::uint64_t v = table_[i];
      acc = rotl(acc + v, 13) ^ k;
      table_[i] = (acc ^ 0x8ebc6af09c88c6e3ull) + v;
      i = (v ^ acc) % 32768;
    }

    state_ = acc ^ static_cast<std::uint64_t>(q);
    return state_;
  }

  const std::vector<std::uint64_t>& table() const { return table_; }
  const std::array<std::uint8_t, 4096>& text() const { return text_; }
  std::uint64_t state() const { return state_; }

  // How often the scanner started in each state and took each cell, so a
  // test can tell whether its inputs reached every transition.
  const std::array<std::uint64_t, kStates>& starts() const { return starts_; }
  const std::array<std::array<std::uint64_t, kStates>, kClasses>& visits() const { return visits_; }

  static Class classify(std::uint8_t c) {
    if (c >= '0' && c <= '9') return Class::kDigit;
    if (c == '\n' || c == ' ' || c == ';') return Class::kSeparator;
    if (c == '+' || c == '-') return Class::kSign;
    if (c == ',' || c == '.') return Class::kPoint;
    if (c == 'E' || c == 'e') return Class::kExponent;
    return Class::kOther;
  }

 private:
  enum class Action { kAccumulateDigit, kFoldHigh, kXorByte, kRotate7, kAdd97, kRotateRightXorByte };
  struct Cell {
    Action action;
    int next;
  };
  static constexpr Cell kOtherCell{Action::kRotateRightXorByte, 0};

  // Rows by class, columns by scanner state 0..3.
  static constexpr Cell kTransitions[kClasses][kStates] = {
      {{Action::kAccumulateDigit, 1},
       {Action::kAccumulateDigit, 1},
       {Action::kAccumulateDigit, 3},
       {Action::kAccumulateDigit, 1}},
      {{Action::kFoldHigh, 0}, {Action::kFoldHigh, 0}, {Action::kFoldHigh, 0}, {Action::kFoldHigh, 0}},
      {{Action::kXorByte, 1}, kOtherCell, kOtherCell, kOtherCell},
      {kOtherCell, {Action::kRotate7, 2}, kOtherCell, kOtherCell},
      {kOtherCell, {Action::kAdd97, 0}, kOtherCell, {Action::kAdd97, 0}},
      {kOtherCell, kOtherCell, kOtherCell, kOtherCell},
  };

  static std::uint64_t rotl(std::uint64_t x, int n) { return (x << n) | (x >> (64 - n)); }

  static std::uint64_t apply(Action action, std::uint64_t x, std::uint8_t c) {
    switch (action) {
      case Action::kAccumulateDigit:
        return 10 * x + (c - '0');
      case Action::kFoldHigh:
        return x ^ (x >> 11);
      case Action::kXorByte:
        return x ^ c;
      case Action::kRotate7:
        return rotl(x, 7);
      case Action::kAdd97:
        return x + 97;
      case Action::kRotateRightXorByte:
        return rotl(x, 61) ^ c;
    }
    return x;
  }

  std::uint64_t draw() {
    std::uint64_t x = generator_;
    x ^= x >> 12;
    x ^= x << 25;
    x ^= x >> 27;
    generator_ = x * 0x2545f4914f6cdd1dull;
    return generator_;
  }

  std::uint64_t generator_;
  std::vector<std::uint64_t> table_;
  std::array<std::uint8_t, 4096> text_{};
  std::uint64_t state_ = 0;
  std::array<std::uint64_t, kStates> starts_{};
  std::array<std::array<std::uint64_t, kStates>, kClasses> visits_{};
};

}  // namespace truvello::testing
