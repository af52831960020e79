#pragma once

#include <nlohmann/json.hpp>

#include "statistics/invocation_view.h"

namespace truvello::cli {

// The "ab" section of an A/B series' document: what was compared and how
// (labels, setup commands, settle, seed, order, how it ended), then what the
// readers derive again from the runs, for whoever reads the file without
// this command: the pairs with their ratios, the paired estimate and, for
// contrast, the unpaired interval of the same runs. Null for any other
// invocation.
nlohmann::json ab_json(const InvocationView& view);

}  // namespace truvello::cli
