#include "statistics/scaling.h"

namespace truvello::cli {

std::optional<Scaling> scaling(const truvello_result_record& single, const truvello_result_record& all_cpus) {
  if (single.status != TRUVELLO_STATUS_COMPLETED || all_cpus.status != TRUVELLO_STATUS_COMPLETED) {
    return std::nullopt;
  }
  if (!(single.mean_rate > 0.0) || !(all_cpus.mean_rate > 0.0) || all_cpus.workers == 0) {
    return std::nullopt;
  }
  Scaling s;
  s.workers = all_cpus.workers;
  s.speedup = all_cpus.mean_rate / single.mean_rate;
  s.efficiency = all_cpus.mean_rate / (static_cast<double>(all_cpus.workers) * single.mean_rate);
  return s;
}

std::optional<Scaling> scaling(const Invocation& invocation) {
  const RunOutcome* single = invocation.find(TRUVELLO_BENCHMARK_SINGLE);
  const RunOutcome* all = invocation.find(TRUVELLO_BENCHMARK_ALL_CPUS);
  if (single == nullptr || all == nullptr || !single->result || !all->result) return std::nullopt;
  return scaling(*single->result, *all->result);
}

}  // namespace truvello::cli
