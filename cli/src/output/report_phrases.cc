#include "output/report_phrases.h"

#include <fmt/format.h>

namespace truvello::cli {

std::string machine_line(const MachineContext& machine, std::string_view dot) {
  std::string line = machine.cpu_model.empty() ? std::string("unknown CPU") : machine.cpu_model;
  line += fmt::format("{}{} CPUs online", dot, machine.online_cpus);
  const double usable = machine.usable_cpus();
  if (usable < static_cast<double>(machine.online_cpus)) line += fmt::format(", {:.3g} usable", usable);
  if (!machine.os_kernel.empty()) line += fmt::format("{}{}", dot, machine.os_kernel);
  return line;
}

std::string scaling_sentence(const Scaling& scaling, std::string_view times) {
  return fmt::format("all CPUs ran {:.2f} {} the single rate with {} workers", scaling.speedup, times, scaling.workers);
}

}  // namespace truvello::cli
