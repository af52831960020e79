#pragma once

// The marks of one group on a chart of scores (chart.h's ScoreGroupShape),
// drawn one way wherever scores are charted: the run page's runs of a
// series and the fleet page's machines of a group.

#include <span>
#include <string>

#include "output/chart.h"

namespace truvello::cli {

// The group's interval as a band and its score as a line, both reaching a
// little past its outer points, then each point: a dot, or for a disturbed
// run (or a machine named below its peers) a hollow diamond, told apart by
// shape in print and without colour. With `point_titles` (one per point, in
// order; text, escaped here) each point carries its title, which a browser
// shows on hover. The caller wraps the marks in the group's colour class.
std::string score_marks_svg(const ScoreGroupShape& shape, std::span<const std::string> point_titles = {});

}  // namespace truvello::cli
