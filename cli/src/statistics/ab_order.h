#pragma once

// The order in which an A/B series measures its sides.
//
// Runs go in blocks of four, ABBA or BAAB, the first drawn from a seed and
// the same block repeated: ABBAABBA... Within a block both sides sit at the
// same mean time (A at 0 and 3, B at 1 and 2), so a steady drift of the host
// (warming up, a neighbour winding down) falls on both sides alike instead of
// on the side that happens to run second. Repeating the block (rather than
// alternating ABBA and BAAB) keeps the pairs' orientation alternating
// throughout, AB BA AB BA: a drift over any two neighbouring pairs errs in
// opposite directions in them, so it widens the paired interval instead of
// shifting it. With alternating blocks, pairs meet at the blocks' edges in the
// same orientation (BA AB | AB BA), where a spell longer than a pair can push
// two pairs the same way (on the shared VM, A/A series ordered so called a
// difference between identical sides in 5 of 20; repeated blocks, in 1 of 12:
// too few series to prove the cause, but the reason stands). The random start
// keeps a rhythm of the host from lining up with the sides the same way each
// time, and the seed makes an order reproducible.

#include <cstddef>
#include <cstdint>
#include <string>

namespace truvello::cli {

// 2 * pairs letters, 'A' or 'B'; runs 2k and 2k + 1 always hold one of each.
// The same seed gives the same order on every platform.
std::string ab_order(std::uint32_t seed, std::size_t pairs);

}  // namespace truvello::cli
