#pragma once

#include <string>

#include "model/invocation.h"
#include "progress/sparkline.h"

namespace truvello::cli {

// The human-readable report printed on stdout after the runs: one block per
// run with aligned labels, the scaling line, then warnings about the machine.
std::string summary_text(const Invocation& invocation, Glyphs glyphs);

}  // namespace truvello::cli
