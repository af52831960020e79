#pragma once

#include <string>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// A results table with one row per run, followed by the scaling line when
// both benchmarks completed, ready to paste into an issue or a README.
std::string markdown_text(const InvocationView& view);

}  // namespace truvello::cli
