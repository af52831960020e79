#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace truvello::report {

// One line of the report: what was measured, what came out, what it had to
// reach, and whether it did.
struct Row {
  std::string figure;
  std::string value;
  std::string target;
  bool pass = false;
};

// The report as printed: a header (machine, load), the rows in figure order,
// and notes that explain how a value was obtained.
struct Table {
  std::vector<std::string> header;
  std::vector<Row> rows;
  std::vector<std::string> notes;

  bool all_pass() const;
  void print(std::FILE* out) const;
};

}  // namespace truvello::report
