#include "document/json_text.h"

namespace truvello::cli {

std::string json_text(const nlohmann::json& document) {
  const std::string dumped = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  // The dump escapes U+0000-U+001F but writes DEL and the C1 controls
  // (U+0080-U+009F, C2 80-C2 9F in UTF-8) as they are, and a terminal that
  // obeys C1 acts on them: U+009B starts an escape sequence. Both can stand
  // only inside a string, since everything else in the text is ASCII
  // punctuation, digits, literals and spaces; and after the replacement the
  // text is UTF-8, where C2 is always the first byte of a character.
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(dumped.size() + 1);
  for (std::size_t i = 0; i < dumped.size(); ++i) {
    const auto byte = static_cast<unsigned char>(dumped[i]);
    const auto next = i + 1 < dumped.size() ? static_cast<unsigned char>(dumped[i + 1]) : 0;
    if (byte == 0x7f) {
      out += "\\u007f";
    } else if (byte == 0xc2 && next >= 0x80 && next <= 0x9f) {
      out += "\\u00";
      out += kHex[next >> 4];
      out += kHex[next & 0xf];
      ++i;
    } else {
      out += dumped[i];
    }
  }
  return out + "\n";
}

}  // namespace truvello::cli
