#pragma once

// The report's last section: the facts of each source's machine, and the
// warnings that concern the whole machine rather than one run, once.

#include <span>
#include <string>
#include <vector>

#include "output/report_source.h"
#include "statistics/warnings.h"

namespace truvello::cli {

// `machine_wide`: one per source, as the benchmark sections gathered them.
std::string machine_section(std::span<const ReportSource> sources,
                            const std::vector<MachineWideWarnings>& machine_wide);

}  // namespace truvello::cli
