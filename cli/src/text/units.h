#pragma once

#include <cstdint>
#include <string>

namespace truvello::cli {

// Figures meant for people: four significant digits with an SI prefix, so
// that scores of very different machines line up in the same shape.
// 1234567.0 gives "1.235 M"; 999.0 gives "999.0"; non-finite values "n/a".
std::string si_number(double value);

// A rate of operations per second: "1.235 M ops/s".
std::string rate_text(double ops_per_second);

// A whole count with thin grouping: 12345678 gives "12,345,678".
std::string grouped(std::uint64_t count);

// Seconds with millisecond precision: "5.002 s".
std::string seconds_text(double seconds);

// A planned length as a person would say it: 2 gives "2 s", 0.3 gives
// "0.3 s", 120 gives "120 s".
std::string length_text(double seconds);

// A clock reading for the progress line: 65 gives "1:05", 3725 "1:02:05".
// Negative or non-finite values give "-:--".
std::string clock_text(double seconds);

// A percentage with the precision that matters for it: "0.84 %", "12.3 %".
std::string percent_text(double percent);

// A change in percent with its sign: "+4.20 %", "-12.3 %", "0.00 %".
std::string signed_percent(double percent);

// How far a run stood from its series, in words: -24.1 gives "24.1 % below",
// 3.2 gives "3.20 % above".
std::string off_text(double off_percent);

// A 64-bit value as 0x followed by 16 lower-case hex digits.
std::string hex64(std::uint64_t value);

// The shortest text that reads back as the same double; used in exported
// files so that nothing is lost on the way. Non-finite values give "nan",
// "inf" or "-inf".
std::string exact_number(double value);

}  // namespace truvello::cli
