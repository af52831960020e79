// Seconds to duration. Expected values come from exact rational arithmetic on
// each double's binary value, worked out by hand in the comments, never from
// the floating-point product the conversion must avoid.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <random>

#include "run_lengths.h"

namespace truvello {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kTwoTo64 = 18446744073709551616.0;
constexpr double kLargestAccepted = 18446744073709549568.0;  // 2^64 - 2048

double below(double x) { return std::nextafter(x, -kInf); }
double above(double x) { return std::nextafter(x, kInf); }

std::optional<Duration> at(std::uint64_t secs, std::uint32_t nanos) { return Duration{secs, nanos}; }

TEST(DurationFromSeconds, WorkedExamples) {
  EXPECT_EQ(duration_from_seconds(2.5), at(2, 500'000'000));
  EXPECT_EQ(duration_from_seconds(0.1), at(0, 100'000'000));
  EXPECT_EQ(duration_from_seconds(0.9999999999), at(1, 0));  // rounds up into the seconds
  EXPECT_EQ(duration_from_seconds(6e-10), at(0, 1));
  EXPECT_EQ(duration_from_seconds(1e-10), at(0, 0));
  EXPECT_EQ(duration_from_seconds(120.0), at(120, 0));
  EXPECT_EQ(duration_from_seconds(60.0), at(60, 0));
}

TEST(DurationFromSeconds, ExactHalfNanosecondsRoundToEven) {
  // 2^-10 s is exactly 976562.5 ns and 3 * 2^-10 s exactly 2929687.5 ns.
  EXPECT_EQ(duration_from_seconds(0x1p-10), at(0, 976'562));
  EXPECT_EQ(duration_from_seconds(0x3p-10), at(0, 2'929'688));
  // The same fractions on top of whole seconds round the same way.
  EXPECT_EQ(duration_from_seconds(7.0 + 0x1p-10), at(7, 976'562));
  EXPECT_EQ(duration_from_seconds(7.0 + 0x3p-10), at(7, 2'929'688));
}

TEST(DurationFromSeconds, NearTiesDecidedBySixtyFourBitsTooFew) {
  // In [0.5, 1) a fraction times 1e9 lands on multiples of 2^-44 ns. These two
  // miss a tie by one such step: 500764001.5 ns + 2^-44 and 501189123.5 ns -
  // 2^-44. Telling them from the tie takes 73 significant bits, more than a
  // long double product keeps.
  EXPECT_EQ(duration_from_seconds(0x1.006423a2e9c6dp-1), at(0, 500'764'002));
  EXPECT_EQ(duration_from_seconds(0x1.009bdc5d16393p-1), at(0, 501'189'123));
}

TEST(DurationFromSeconds, AroundTwoToTheMinus31) {
  // 2^-31 s is about 0.4657 ns: it and both neighbours round down to zero.
  EXPECT_EQ(duration_from_seconds(below(0x1p-31)), at(0, 0));
  EXPECT_EQ(duration_from_seconds(0x1p-31), at(0, 0));
  EXPECT_EQ(duration_from_seconds(above(0x1p-31)), at(0, 0));
}

TEST(DurationFromSeconds, AroundHalfANanosecond) {
  // The double nearest 5e-10 is 0x1.12e0be826d695p-31, just above half a
  // nanosecond (by 588233 / 2^74 ns, about 3e-17 ns): it and the next double
  // up give 1 ns, the one below gives 0. A product rounded in floating point
  // would land on the tie itself.
  const double nearest = 5e-10;
  ASSERT_EQ(nearest, 0x1.12e0be826d695p-31);
  EXPECT_EQ(duration_from_seconds(below(nearest)), at(0, 0));
  EXPECT_EQ(duration_from_seconds(nearest), at(0, 1));
  EXPECT_EQ(duration_from_seconds(above(nearest)), at(0, 1));
}

TEST(DurationFromSeconds, AroundTheCarryIntoTheNextSecond) {
  // The double nearest 0.9999999995 is 999999999.5 ns less 45487 / 2^40 ns
  // (about 4e-8 ns): 999999999 ns. The next double up lies above the tie and
  // carries into a whole second.
  const double nearest = 0.9999999995;
  ASSERT_EQ(nearest, 0x1.fffffffbb47d0p-1);
  EXPECT_EQ(duration_from_seconds(below(nearest)), at(0, 999'999'999));
  EXPECT_EQ(duration_from_seconds(nearest), at(0, 999'999'999));
  EXPECT_EQ(duration_from_seconds(above(nearest)), at(1, 0));
}

TEST(DurationFromSeconds, AroundTwoToThe52) {
  // Just below 2^52 the spacing is half a second; from 2^52 on values are
  // whole numbers and convert exactly.
  EXPECT_EQ(duration_from_seconds(below(0x1p52)), at(4'503'599'627'370'495, 500'000'000));
  EXPECT_EQ(duration_from_seconds(0x1p52), at(4'503'599'627'370'496, 0));
  EXPECT_EQ(duration_from_seconds(above(0x1p52)), at(4'503'599'627'370'497, 0));
}

TEST(DurationFromSeconds, AroundTheTopOfTheRange) {
  ASSERT_EQ(above(kLargestAccepted), kTwoTo64);
  EXPECT_EQ(duration_from_seconds(below(kLargestAccepted)), at(18'446'744'073'709'547'520u, 0));
  EXPECT_EQ(duration_from_seconds(kLargestAccepted), at(18'446'744'073'709'549'568u, 0));
  EXPECT_EQ(duration_from_seconds(kTwoTo64), std::nullopt);
  EXPECT_EQ(duration_from_seconds(above(kTwoTo64)), std::nullopt);
  EXPECT_EQ(duration_from_seconds(std::numeric_limits<double>::max()), std::nullopt);
}

TEST(DurationFromSeconds, SignsAndSpecialValues) {
  EXPECT_EQ(duration_from_seconds(0.0), at(0, 0));
  EXPECT_EQ(duration_from_seconds(-0.0), at(0, 0));
  // The smallest positive subnormal converts (to zero); its negative does not.
  EXPECT_EQ(duration_from_seconds(std::numeric_limits<double>::denorm_min()), at(0, 0));
  EXPECT_EQ(duration_from_seconds(-std::numeric_limits<double>::denorm_min()), std::nullopt);
  EXPECT_EQ(duration_from_seconds(-std::numeric_limits<double>::min()), std::nullopt);
  EXPECT_EQ(duration_from_seconds(-1.0), std::nullopt);
  EXPECT_EQ(duration_from_seconds(-kTwoTo64), std::nullopt);
  EXPECT_EQ(duration_from_seconds(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(duration_from_seconds(-std::numeric_limits<double>::quiet_NaN()), std::nullopt);
  EXPECT_EQ(duration_from_seconds(kInf), std::nullopt);
  EXPECT_EQ(duration_from_seconds(-kInf), std::nullopt);
}

// An independent check of one conversion: with x = m * 2^-k split into whole
// seconds s and a fraction f = r / 2^k, the nanosecond count n is right when
// |f * 1e9 - n| <= 1/2, i.e. (2n - 1) * 2^k <= 2e9 * r <= (2n + 1) * 2^k, with
// equality on one side only for even n. The decomposition uses frexp, not
// the bit layout.
void expect_nearest_nanosecond(double x) {
  int exp = 0;
  const double mantissa = std::frexp(x, &exp);  // x = mantissa * 2^exp, 0.5 <= mantissa < 1
  const auto m = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
  const int k = 53 - exp;  // x = m * 2^-k
  ASSERT_GT(k, 0);
  ASSERT_LT(k, 64);
  const std::uint64_t whole = m >> k;
  const unsigned __int128 r = m & ((std::uint64_t{1} << k) - 1);
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << k;

  const auto got = duration_from_seconds(x);
  ASSERT_TRUE(got.has_value()) << x;
  ASSERT_LT(got->nanos, 1'000'000'000u);
  // A carry shows as the next whole second with n = 1e9.
  const std::uint64_t n = got->secs == whole ? got->nanos : 1'000'000'000u;
  ASSERT_TRUE(got->secs == whole || (got->secs == whole + 1 && got->nanos == 0)) << x;

  const unsigned __int128 twice = r * 2'000'000'000u;
  const unsigned __int128 low = (2 * static_cast<unsigned __int128>(n) - (n > 0 ? 1 : 0)) * unit;
  const unsigned __int128 high = (2 * static_cast<unsigned __int128>(n) + 1) * unit;
  const bool above_low = n == 0 || twice > low || (twice == low && n % 2 == 0);
  const bool below_high = twice < high || (twice == high && n % 2 == 0);
  EXPECT_TRUE(above_low && below_high) << std::hexfloat << x << " gave " << got->secs << " s " << got->nanos << " ns";
}

TEST(DurationFromSeconds, RoundsToTheNearestNanosecondAcrossMagnitudes) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> unit(0.5, 1.0);
  for (int exp = -9; exp <= 40; ++exp) {
    for (int i = 0; i < 200; ++i) expect_nearest_nanosecond(std::ldexp(unit(rng), exp));
  }
}

}  // namespace
}  // namespace truvello
