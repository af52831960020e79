#pragma once

// The capability as every output words it beside the score.

#include <string>
#include <string_view>
#include <vector>

#include "statistics/capability.h"
#include "statistics/warnings.h"

namespace truvello::cli {

// Spells that took less than this share of the rate go unmentioned: the
// fast cluster's own noise leaves the score that far below its median.
inline constexpr double kSpellShareShown = 0.02;

// Whether the OS kernel said something of the run that could explain slow
// spells: its workers short of a CPU, waiting for one, or throttled.
bool kernel_reported(const std::vector<Warning>& warnings);

// "116.9 k ops/s ±0.8 %: slow spells took 15.0 % of the rate, with nothing
// the OS kernel reported", the spells said only from kSpellShareShown, the
// last clause only when `kernel_saw_it` is false; or the reason there is no
// capability.
std::string capability_text(const CapabilityEstimate& e, std::string_view plus_minus, bool kernel_saw_it);

// The same in a table cell whose column names the unit: "116.9 k ±0.80 %,
// spells 15.0 %", or "n/a" (the table has no room for the reason).
std::string capability_cell(const CapabilityEstimate& e, std::string_view plus_minus);

}  // namespace truvello::cli
