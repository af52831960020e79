#include "output/score_marks.h"

#include "text/html_text.h"

namespace truvello::cli {

std::string score_marks_svg(const ScoreGroupShape& shape, std::span<const std::string> point_titles) {
  const std::string x0 = coordinate(shape.x.pixel_lo - 10.0);
  std::string out;
  if (shape.band_top && shape.band_bottom) {
    out += "<rect class=\"band\" x=\"" + x0 + "\" y=\"" + coordinate(*shape.band_top) + "\" width=\"" +
           coordinate(shape.x.pixel_hi - shape.x.pixel_lo + 20.0) + "\" height=\"" +
           coordinate(*shape.band_bottom - *shape.band_top) + "\"/>";
  }
  if (shape.score_y) {
    const std::string y = coordinate(*shape.score_y);
    out += "<line class=\"score\" x1=\"" + x0 + "\" x2=\"" + coordinate(shape.x.pixel_hi + 10.0) + "\" y1=\"" + y +
           "\" y2=\"" + y + "\"/>";
  }
  for (std::size_t i = 0; i < shape.points.size(); ++i) {
    const ScorePoint& p = shape.points[i];
    const std::string title =
        i < point_titles.size() ? "<title>" + html_escape(point_titles[i]) + "</title>" : std::string();
    if (p.disturbed) {
      out += "<path class=\"point disturbed\" d=\"M" + coordinate(p.x) + " " + coordinate(p.y - 6.0) +
             "l6 6-6 6-6-6z\"" + (title.empty() ? "/>" : ">" + title + "</path>");
    } else {
      out += "<circle class=\"point\" cx=\"" + coordinate(p.x) + "\" cy=\"" + coordinate(p.y) + "\" r=\"4\"" +
             (title.empty() ? "/>" : ">" + title + "</circle>");
    }
  }
  return out;
}

}  // namespace truvello::cli
