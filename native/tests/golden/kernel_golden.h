#pragma once

#include <cstdint>

namespace truvello::testing {

// The workload's reference values: the kernel of `seed` after `steps` steps
// has this state (its last result, or the built state after 0 steps) and
// this fingerprint of its table and text. Computed once on x86-64 and held
// on every architecture and OS the library builds for.
struct GoldenRow {
  std::uint64_t seed;
  std::uint32_t steps;
  std::uint64_t state;
  std::uint64_t fingerprint;
};

inline constexpr GoldenRow kKernelGolden[] = {
    {0x0000000000000000ull, 0, 0x2152e16fd35a4ae8ull, 0x2801f779bba6c0e7ull},
    {0x0000000000000000ull, 1, 0x2c1b8d85cdd1e98dull, 0xc62aa0e32890a465ull},
    {0x0000000000000000ull, 100, 0xa8aa4f204b654d61ull, 0xe81b6338e89c6ee6ull},
    {0x0000000000000001ull, 0, 0x29754429088a5a7full, 0x375c20fa461c3e2full},
    {0x0000000000000001ull, 3, 0x7564fde9aad28c50ull, 0x10fa157a86f8797dull},
    {0x0000000000000005ull, 64, 0xed34de590063b8beull, 0x63fb96c624a91475ull},
    {0x9e3779b97f4a7c15ull, 0, 0x0000000000000000ull, 0x2bdf1f8a90a56325ull},
    {0x9e3779b97f4a7c15ull, 1, 0x5bea012f1b944acfull, 0xd4a7fdce1db7d79bull},
    {0x9e3779b97f4a7c15ull, 16, 0xffea301a0817bb9bull, 0x7a73db02a20a01b4ull},
    {0xffffffffffffffffull, 8, 0x167e309528fff906ull, 0x0ddd183df297dde1ull},
    {0x0123456789abcdefull, 256, 0xed11e9687e280060ull, 0x53c1442d89be5ea1ull},
};

}  // namespace truvello::testing
