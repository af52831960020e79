#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace truvello::cli {

// Eight levels per character; the UTF-8 form uses block elements, the plain
// form ASCII for terminals and files that cannot show them.
enum class Glyphs { kBlocks, kAscii };

// The level (0 to 7) of every value. The scale runs from the largest value
// down by its spread, but never less than 10 % of it: ordinary noise stays
// near the top instead of filling the whole height, while a real slowdown
// drops visibly.
std::vector<int> spark_levels(std::span<const double> values);

// Averages neighbouring values so that at most `width` remain, each bucket
// keeping the mean of the values it covers.
std::vector<double> fit_width(std::span<const double> values, std::size_t width);

// One character per value (after fitting to `width`).
std::string sparkline(std::span<const double> values, std::size_t width, Glyphs glyphs);

// Whether a locale codeset name (nl_langinfo(CODESET)) is UTF-8.
bool is_utf8_codeset(const char* codeset);

}  // namespace truvello::cli
