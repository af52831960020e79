#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace truvello::cli {

// The runs of a series by their numbers, as a sentence names them: "run 2",
// "runs 1 and 3", "runs 1, 3 and 4", "runs 1-4", "runs 1-3 and 6". Three or
// more in a row become a range; order and repeats in `repeats` do not
// matter. Empty for no runs.
std::string run_list_text(std::span<const std::uint32_t> repeats);

}  // namespace truvello::cli
