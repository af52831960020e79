#pragma once

// A fleet view as a terminal table, Markdown, JSON and a self-contained HTML
// page with one chart per group and benchmark. Every text from the
// documents (CPU models, host names, paths) is made safe for where it goes.

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "statistics/fleet_groups.h"

namespace truvello::cli {

// What is said of a named machine: "slower than its peers", or
// "measurement problem (unstable, busy): measure it again".
std::string fleet_verdict_text(const FleetMachine& machine);

std::string fleet_table(const FleetView& view, std::size_t unreadable);
std::string fleet_markdown(const FleetView& view, std::size_t unreadable);
nlohmann::json fleet_json(const FleetView& view, const std::vector<std::string>& unreadable);
std::string fleet_html(const FleetView& view, std::size_t unreadable, std::string_view date);

}  // namespace truvello::cli
