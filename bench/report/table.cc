#include "table.h"

#include <algorithm>

namespace truvello::report {

bool Table::all_pass() const {
  return std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.pass; });
}

void Table::print(std::FILE* out) const {
  std::size_t w_figure = 6, w_value = 5, w_target = 6;
  for (const Row& r : rows) {
    w_figure = std::max(w_figure, r.figure.size());
    w_value = std::max(w_value, r.value.size());
    w_target = std::max(w_target, r.target.size());
  }
  const auto width = [](std::size_t w) { return static_cast<int>(w); };
  for (const std::string& line : header) std::fprintf(out, "%s\n", line.c_str());
  std::fprintf(out, "\n%-*s  %-*s  %-*s  %s\n", width(w_figure), "figure", width(w_value), "value", width(w_target),
               "target", "verdict");
  for (const Row& r : rows) {
    std::fprintf(out, "%-*s  %-*s  %-*s  %s\n", width(w_figure), r.figure.c_str(), width(w_value), r.value.c_str(),
                 width(w_target), r.target.c_str(), r.pass ? "PASS" : "FAIL");
  }
  if (!notes.empty()) std::fprintf(out, "\n");
  for (const std::string& line : notes) std::fprintf(out, "note: %s\n", line.c_str());
  std::fflush(out);
}

}  // namespace truvello::report
