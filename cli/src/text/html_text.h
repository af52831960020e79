#pragma once

#include <string>
#include <string_view>

namespace truvello::cli {

// Text from outside made safe for HTML content and attribute values: the
// five characters that could end a text or an attribute become references,
// and control characters and bytes that are not UTF-8 are shown as visible
// escapes first (terminal_safe), as an HTML document may hold neither.
std::string html_escape(std::string_view outside_text);

}  // namespace truvello::cli
