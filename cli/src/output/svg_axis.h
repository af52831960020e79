#pragma once

// The axes of every chart on the HTML pages, drawn one way: the rate chart,
// the chart of run scores, the A/B page's pairs and the fleet's machines all
// read alike. Each function gives SVG elements, one line of markup per tick,
// for the chart's geometry (chart.h); their look is the style sheet's
// (svg.chart .grid, .axis, text).

#include <string>
#include <string_view>

#include "output/chart.h"

namespace truvello::cli {

// The value axis at the plot's left: at each tick a grid line across the
// plot and the tick's label beside it, outside the plot.
std::string value_axis_svg(const Ticks& ticks, const Scale& scale, const ChartLayout& layout);

// Ticks along the plot's foot (seconds, run numbers): a short mark under
// the plot at each, its label below the mark.
std::string foot_ticks_svg(const Ticks& ticks, const Scale& scale, const ChartLayout& layout);

// The line along the plot's foot.
std::string foot_line_svg(const ChartLayout& layout);

// The axes' names: `foot` centred under the plot, `value` up its left edge.
std::string axis_names_svg(const ChartLayout& layout, std::string_view foot, std::string_view value);

}  // namespace truvello::cli
