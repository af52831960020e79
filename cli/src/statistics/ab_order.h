#pragma once

// The order in which an A/B series measures its sides.
//
// Runs go in blocks of four, ABBA or BAAB, the blocks alternating and the
// first drawn from a seed. Within a block both sides sit at the same mean
// time (A at 0 and 3, B at 1 and 2), so a steady drift of the host (warming
// up, a neighbour winding down) falls on both sides alike instead of on the
// side that happens to run second; and the block's two pairs (AB, BA) meet
// the drift in opposite ways, so their ratios err in opposite directions.
// The random start keeps a rhythm of the host (a job every other minute)
// from lining up with the sides in the same way each time, and the seed
// makes an order reproducible.

#include <cstddef>
#include <cstdint>
#include <string>

namespace truvello::cli {

// 2 * pairs letters, 'A' or 'B'; runs 2k and 2k + 1 always hold one of each.
// The same seed gives the same order on every platform.
std::string ab_order(std::uint32_t seed, std::size_t pairs);

}  // namespace truvello::cli
