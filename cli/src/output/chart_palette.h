#pragma once

// Which colour and dash a chart's n-th series is drawn with: the style
// sheet's classes s0..s5 (colour) and d0..d3 (dash pattern).

#include <cstddef>
#include <string>

namespace truvello::cli {

// Lines differ by dash pattern as well as by colour, so that they stay apart
// in print and for readers who do not tell the colours apart.
inline constexpr std::size_t kChartColours = 6;
inline constexpr std::size_t kChartDashes = 4;

// "s2 d2" for the third series.
std::string series_class(std::size_t index);

}  // namespace truvello::cli
