#include "text/html_text.h"

#include "text/terminal_text.h"

namespace truvello::cli {

std::string html_escape(std::string_view outside_text) {
  const std::string text = terminal_safe(outside_text);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace truvello::cli
