#include "machine/machine_identity.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "machine/machine_text.h"
#include "text/sha256.h"

namespace truvello::cli {

namespace {

bool lower_hex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

std::optional<std::string> first_line_of(const char* path) {
  std::ifstream in(path);
  std::string line;
  if (!in || !std::getline(in, line)) return std::nullopt;
  return line;
}

}  // namespace

std::optional<std::string> machine_identity(std::string_view machine_id_text) {
  const std::string_view id = trim(machine_id_text);
  if (id.size() != 32 || !std::all_of(id.begin(), id.end(), lower_hex)) return std::nullopt;
  return sha256_hex("truvello:" + std::string(id)).substr(0, kMachineIdentityDigits);
}

bool is_machine_identity(std::string_view text) {
  return !text.empty() && text.size() <= 64 && std::all_of(text.begin(), text.end(), lower_hex);
}

std::optional<std::string> checked_host_name(std::string_view text) {
  const bool printable = std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7f; });
  if (text.empty() || text.size() > kMaxHostName || !printable) return std::nullopt;
  return std::string(text);
}

std::optional<std::string> read_host_name() {
  char name[kMaxHostName + 1] = {};
  if (gethostname(name, kMaxHostName) != 0) return std::nullopt;
  return checked_host_name(name);
}

std::optional<std::string> read_machine_identity() {
  // systemd's file, and D-Bus's where it is alone.
  for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
    if (const auto line = first_line_of(path)) {
      if (auto identity = machine_identity(*line)) return identity;
    }
  }
  return std::nullopt;
}

}  // namespace truvello::cli
