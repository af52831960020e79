#pragma once

#include <string>

#include "progress/sparkline.h"
#include "statistics/invocation_view.h"

namespace truvello::cli {

// The human-readable report printed on stdout after the runs: one block per
// run with aligned labels, the scaling line, then warnings about the machine.
std::string summary_text(const InvocationView& view, Glyphs glyphs);

}  // namespace truvello::cli
