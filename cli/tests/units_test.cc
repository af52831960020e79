#include "text/units.h"

#include "text/markdown_text.h"
#include "text/terminal_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace truvello::cli {
namespace {

TEST(Units, SiNumberKeepsFourSignificantDigitsAcrossPrefixes) {
  EXPECT_EQ(si_number(1234567.0), "1.235 M");
  EXPECT_EQ(si_number(12345678.0), "12.35 M");
  EXPECT_EQ(si_number(123456789.0), "123.5 M");
  EXPECT_EQ(si_number(999.0), "999.0");
  EXPECT_EQ(si_number(5.5), "5.500");
  EXPECT_EQ(si_number(0.0), "0");
  EXPECT_EQ(rate_text(2.5e9), "2.500 G ops/s");
}

TEST(Units, SiNumberNeverShowsAFifthDigitAfterRounding) {
  // Values just below a boundary round up; they must move to the next
  // prefix or precision instead of reading "1000.0 k" or "100.00".
  EXPECT_EQ(si_number(999999.0), "1.000 M");
  EXPECT_EQ(si_number(99.996), "100.0");
  EXPECT_EQ(si_number(9.9996), "10.00");
  EXPECT_EQ(si_number(std::numeric_limits<double>::quiet_NaN()), "n/a");
  EXPECT_EQ(si_number(std::numeric_limits<double>::infinity()), "n/a");
}

TEST(Units, GroupedCountsInThousands) {
  EXPECT_EQ(grouped(0), "0");
  EXPECT_EQ(grouped(999), "999");
  EXPECT_EQ(grouped(1000), "1,000");
  EXPECT_EQ(grouped(12345678), "12,345,678");
  EXPECT_EQ(grouped(18446744073709551615ULL), "18,446,744,073,709,551,615");
}

TEST(Units, ClockTextForElapsedAndRemainingTime) {
  EXPECT_EQ(clock_text(0.0), "0:00");
  EXPECT_EQ(clock_text(65.9), "1:05");
  EXPECT_EQ(clock_text(3725.0), "1:02:05");
  EXPECT_EQ(clock_text(-1.0), "-:--");
  EXPECT_EQ(clock_text(std::numeric_limits<double>::quiet_NaN()), "-:--");
}

TEST(Units, PercentAndSecondsAndLengths) {
  EXPECT_EQ(percent_text(0.8412), "0.84 %");
  EXPECT_EQ(percent_text(12.34), "12.3 %");
  EXPECT_EQ(percent_text(9.999), "10.0 %");
  EXPECT_EQ(percent_text(100.0), "100 %");
  EXPECT_EQ(seconds_text(5.0021), "5.002 s");
  EXPECT_EQ(length_text(120.0), "120 s");
  EXPECT_EQ(length_text(0.3), "0.3 s");
}

TEST(Units, SignedPercentWidthAndMarkdownCells) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const struct {
    double percent;
    std::string text;
  } signs[] = {{4.2, "+4.20 %"}, {-12.34, "-12.3 %"}, {0.0, "0.00 %"}, {-150.0, "-150 %"}, {nan, "n/a"}};
  for (const auto& c : signs) EXPECT_EQ(signed_percent(c.percent), c.text) << c.percent;

  const struct {
    std::string text;
    std::size_t width;
  } widths[] = {{"", 0}, {"ops/s", 5}, {"\u00B1 0.84 %", 8}, {"\u2589\u258F", 2}, {"\xF0\x9F\x94\xA5!", 2}};
  for (const auto& c : widths) EXPECT_EQ(display_width(c.text), c.width) << c.text;

  const struct {
    std::string in;
    std::string out;
  } cells[] = {
      {"plain", "plain"},
      {"stopped | by hand", "stopped \\| by hand"},
      {"two\r\nlines", "two  lines"},
      {"\x1b[2Jred|", "\\x1b[2Jred\\|"},
      {"bad\xff", "bad\\xff"},
  };
  for (const auto& c : cells) EXPECT_EQ(markdown_cell(c.in), c.out) << c.out;
}

TEST(Units, HexHasFixedWidth) {
  EXPECT_EQ(hex64(0), "0x0000000000000000");
  EXPECT_EQ(hex64(0xDEADBEEFULL), "0x00000000deadbeef");
  EXPECT_EQ(hex64(~0ULL), "0xffffffffffffffff");
}

TEST(Units, ExactNumberReadsBackToTheSameDouble) {
  for (double v : {0.1, 1.0 / 3.0, 123456789.123456789, 2.2250738585072014e-308, 1.7976931348623157e308}) {
    EXPECT_EQ(std::stod(exact_number(v)), v) << exact_number(v);
  }
  EXPECT_EQ(exact_number(std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(exact_number(-std::numeric_limits<double>::infinity()), "-inf");
}

}  // namespace
}  // namespace truvello::cli
