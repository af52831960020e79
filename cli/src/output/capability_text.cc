#include "output/capability_text.h"

#include <algorithm>

#include "text/units.h"

namespace truvello::cli {

bool kernel_reported(const std::vector<Warning>& warnings) {
  return std::any_of(warnings.begin(), warnings.end(), [](const Warning& w) {
    return w.code == "cpu_share" || w.code == "cpu_wait" || w.code == "throttle";
  });
}

namespace {

bool spells_shown(const Capability& c) { return c.spell_share && *c.spell_share >= kSpellShareShown; }

std::string plus_minus_percent(const Capability& c, std::string_view plus_minus) {
  std::string text(" ");
  text.append(plus_minus);
  text += percent_text(c.half_width_percent());
  return text;
}

}  // namespace

std::string capability_text(const CapabilityEstimate& e, std::string_view plus_minus, bool kernel_saw_it) {
  if (!e.value) return e.note;
  const Capability& c = *e.value;
  std::string text = rate_text(c.rate) + plus_minus_percent(c, plus_minus);
  if (spells_shown(c)) {
    text += ": slow spells took " + percent_text(*c.spell_share * 100.0) + " of the rate";
    if (!kernel_saw_it) text += ", with nothing the OS kernel reported";
  }
  return text;
}

std::string capability_cell(const CapabilityEstimate& e, std::string_view plus_minus) {
  if (!e.value) return "n/a";
  const Capability& c = *e.value;
  std::string cell = si_number(c.rate) + plus_minus_percent(c, plus_minus);
  if (spells_shown(c)) cell += ", spells " + percent_text(*c.spell_share * 100.0);
  return cell;
}

}  // namespace truvello::cli
