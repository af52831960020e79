#include "test_vectors.h"

#include <fstream>
#include <stdexcept>

namespace truvello::testing {

namespace {

std::string entry(std::string_view group, std::string_view name) {
  // Read once: the reliability tests ask for reasons in tight loops.
  static const nlohmann::json table = test_vectors("reasons.json");
  const auto found = table.at(std::string(group)).find(std::string(name));
  if (found == table.at(std::string(group)).end() || !found->is_string()) {
    throw std::runtime_error("reasons.json has no " + std::string(group) + " entry \"" + std::string(name) + "\"");
  }
  return found->get<std::string>();
}

}  // namespace

nlohmann::json test_vectors(std::string_view file) {
  const std::string path = std::string(TRUVELLO_VECTORS_DIR) + "/" + std::string(file);
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read the test vectors " + path);
  try {
    return nlohmann::json::parse(in);
  } catch (const nlohmann::json::parse_error& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

std::string library_reason(std::string_view name) { return entry("reasons", name); }

std::string library_reason_prefix(std::string_view name) { return entry("prefixes", name); }

}  // namespace truvello::testing
