#pragma once

// Reads the little a fleet view needs from a saved run: the machine, the
// library version, the end time, and per benchmark its score, flags and
// warning codes. The samples, the observed workers and the derived figures
// are skipped while parsing, never held, so that ten thousand documents
// cost what their scores cost.

#include <optional>
#include <string>
#include <string_view>

#include "model/fleet_record.h"

namespace truvello::cli {

// Either the record or one line saying what is wrong, naming the field by its
// JSON pointer; the error from read_fleet_record starts with the path.
struct FleetRead {
  std::optional<FleetRecord> record;
  std::string error;
};

// `path` and `modified` are kept in the record as given.
FleetRead parse_fleet_record(std::string_view text, const std::string& path, long long modified);
FleetRead read_fleet_record(const std::string& path);

}  // namespace truvello::cli
