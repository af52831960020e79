#pragma once

// The comparison's section of the report, first on the page: per benchmark
// and candidate the scores, the ratio with its interval and the verdict in
// words, then everything that makes the comparison less clean than it looks.

#include <string>

#include "statistics/comparison.h"

namespace truvello::cli {

std::string comparison_section(const Comparison& comparison);

}  // namespace truvello::cli
