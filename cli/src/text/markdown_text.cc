#include "text/markdown_text.h"

#include "text/terminal_text.h"

namespace truvello::cli {

std::string markdown_cell(std::string_view outside_text) {
  std::string one_line(outside_text);
  for (char& c : one_line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::string out;
  for (char c : terminal_safe(one_line)) {
    if (c == '|') out += '\\';
    out += c;
  }
  return out;
}

}  // namespace truvello::cli
