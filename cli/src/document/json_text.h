#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace truvello::cli {

// Every JSON document the command writes, as text: indented by two, with a
// final newline. Text from outside may hold bytes that are not UTF-8 (a file
// name, a CPU model); each such byte becomes U+FFFD instead of failing the
// whole document. Control characters never appear raw: those below U+0020,
// DEL and the C1 controls U+0080-U+009F are written as escapes ("\u009b"),
// so that the text is safe to print on a terminal and reads back the same.
std::string json_text(const nlohmann::json& document);

// A value the document may lack: the value, or null when it is absent.
template <typename T>
nlohmann::json optional_value(const std::optional<T>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace truvello::cli
