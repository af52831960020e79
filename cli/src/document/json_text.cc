#include "document/json_text.h"

namespace truvello::cli {

std::string json_text(const nlohmann::json& document) {
  return document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace truvello::cli
