#include "text/terminal_text.h"

#include <fmt/format.h>
#include <algorithm>

namespace truvello::cli {

namespace {

// The length of the UTF-8 sequence starting at text[i], or 0 when it is not
// a valid one (overlong forms, surrogates and values past U+10FFFF included).
std::size_t utf8_length(std::string_view text, std::size_t i, unsigned& code_point) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned lead = byte(i);
  std::size_t length = 0;
  unsigned minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code_point = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code_point = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code_point = (code_point << 6) | (byte(i + k) & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string terminal_safe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      out += fmt::format("\\x{:02x}", c);
      ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else {
      unsigned code_point = 0;
      const std::size_t length = utf8_length(text, i, code_point);
      if (length == 0) {
        out += fmt::format("\\x{:02x}", c);
        ++i;
      } else if (code_point <= 0x9F) {
        out += fmt::format("\\u{:04x}", code_point);  // C1: CSI (U+009B) and the rest act like ESC sequences
        i += length;
      } else {
        out.append(text.substr(i, length));
        i += length;
      }
    }
  }
  return out;
}

std::string terminal_lines(std::string_view text) {
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    const std::size_t end = text.find('\n', begin);
    out += terminal_safe(text.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin));
    if (end == std::string_view::npos) break;
    out += '\n';
    begin = end + 1;
  }
  return out;
}

std::size_t display_width(std::string_view text) {
  // UTF-8 continuation bytes take no column.
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace truvello::cli
