#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace truvello::cli {

// An A/B series (`truvello ab`): one machine in two settings, measured in
// turns. Run i of the invocation was measured on side order[i]; runs 2k and
// 2k + 1 are pair k + 1, one of each side.
struct AbRecord {
  std::string label_a = "A";
  std::string label_b = "B";
  // The commands that set each side up and put the machine back, as given
  // on the command line; kept so that a saved series says what it compared.
  std::string setup_a;
  std::string setup_b;
  std::string restore;  // empty: none given
  double settle_seconds = 0.0;
  std::uint32_t seed = 0;  // drew the order's first block
  std::string order;       // "ABBAABBA": one letter per run held
  // Under --precision: the half-width asked for and the budget.
  std::optional<double> target_percent;
  std::optional<double> max_time_seconds;
  // How the series ended: "done" (the planned pairs), "reached" and
  // "budget" (under --precision), "setup-failed", "cancelled" or "failed".
  std::string stopped = "done";

  const std::string& label(char side) const { return side == 'B' ? label_b : label_a; }
};

}  // namespace truvello::cli
