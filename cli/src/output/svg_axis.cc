#include "output/svg_axis.h"

#include "text/html_text.h"

namespace truvello::cli {

std::string value_axis_svg(const Ticks& ticks, const Scale& scale, const ChartLayout& layout) {
  std::string out;
  for (std::size_t i = 0; i < ticks.values.size(); ++i) {
    const std::string y = coordinate(scale.at(ticks.values[i]));
    out += "<line class=\"grid\" x1=\"" + coordinate(layout.left) + "\" x2=\"" + coordinate(layout.right) + "\" y1=\"" +
           y + "\" y2=\"" + y + "\"/><text x=\"" + coordinate(layout.left - 6.0) + "\" y=\"" + y +
           "\" dy=\"4\" text-anchor=\"end\">" + html_escape(ticks.labels[i]) + "</text>\n";
  }
  return out;
}

std::string foot_ticks_svg(const Ticks& ticks, const Scale& scale, const ChartLayout& layout) {
  std::string out;
  for (std::size_t i = 0; i < ticks.values.size(); ++i) {
    const std::string x = coordinate(scale.at(ticks.values[i]));
    out += "<line class=\"axis\" x1=\"" + x + "\" x2=\"" + x + "\" y1=\"" + coordinate(layout.bottom) + "\" y2=\"" +
           coordinate(layout.bottom + 5.0) + "\"/><text x=\"" + x + "\" y=\"" + coordinate(layout.bottom + 19.0) +
           "\" text-anchor=\"middle\">" + html_escape(ticks.labels[i]) + "</text>\n";
  }
  return out;
}

std::string foot_line_svg(const ChartLayout& layout) {
  return "<line class=\"axis\" x1=\"" + coordinate(layout.left) + "\" x2=\"" + coordinate(layout.right) + "\" y1=\"" +
         coordinate(layout.bottom) + "\" y2=\"" + coordinate(layout.bottom) + "\"/>\n";
}

std::string axis_names_svg(const ChartLayout& layout, std::string_view foot, std::string_view value) {
  return "<text x=\"" + coordinate((layout.left + layout.right) / 2.0) + "\" y=\"" + coordinate(layout.height - 8.0) +
         "\" text-anchor=\"middle\">" + html_escape(foot) + "</text>\n<text transform=\"translate(14 " +
         coordinate((layout.top + layout.bottom) / 2.0) + ") rotate(-90)\" text-anchor=\"middle\">" +
         html_escape(value) + "</text>\n";
}

}  // namespace truvello::cli
