#include "reason_text.h"

#include <algorithm>

namespace truvello {

std::vector<char> reason_text(const std::string& reason) {
  std::vector<char> text(reason.begin(), reason.end());
  std::replace(text.begin(), text.end(), '\0', ' ');
  text.push_back('\0');
  return text;
}

}  // namespace truvello
