#include "platform_error.h"

#include <string.h>

namespace truvello {
namespace {

// strerror_r comes in two flavours; overloads pick whichever this libc has.
[[maybe_unused]] const char* description(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* description(const char* result, const char*) { return result; }

}  // namespace

std::string PlatformError::display() const {
  if (message_ != nullptr) return message_;
  char buffer[256] = {};
  std::string text = description(strerror_r(code_, buffer, sizeof buffer), buffer);
  return text + " (os error " + std::to_string(code_) + ")";
}

}  // namespace truvello
