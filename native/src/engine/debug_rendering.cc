#include "debug_rendering.h"

#include <cstdio>

namespace truvello {

std::string debug_quoted(std::string_view text) {
  std::string out = "\"";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        if (c < 0x20 || c == 0x7f) {
          char escape[12];
          std::snprintf(escape, sizeof escape, "\\u{%x}", static_cast<unsigned>(c));
          out += escape;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

std::string debug_rendering(const std::optional<Readiness>& received) {
  if (!received) return "Err(RecvError)";
  if (received->ok()) return "Ok(Ok(()))";
  return "Ok(Err(" + debug_quoted(received->message()) + "))";
}

}  // namespace truvello
