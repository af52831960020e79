#pragma once

#include <string>
#include <string_view>

namespace truvello::cli {

// Text from outside as one cell of a Markdown table: a line break would end
// the row and a pipe would start a new cell, so line breaks become spaces and
// pipes are escaped; every other control character and every byte that is
// not UTF-8 is shown as a visible escape (terminal_safe), since the table may
// well be printed to a terminal.
std::string markdown_cell(std::string_view outside_text);

}  // namespace truvello::cli
