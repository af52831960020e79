#include "progress_log.h"

namespace truvello::reliability {

bool is_final_phase(std::uint32_t phase) {
  return phase == TRUVELLO_PHASE_DONE || phase == TRUVELLO_PHASE_CANCELLED || phase == TRUVELLO_PHASE_FAILED;
}

std::string progress_problem(const ProgressLog& log, const truvello_progress_record& record) {
  if (std::this_thread::get_id() != log.host_thread) return "progress called on another thread than the run's";
  if (record.phase < TRUVELLO_PHASE_WARMUP || record.phase > TRUVELLO_PHASE_FAILED) return "unknown progress phase";
  if (log.final_calls != 0) return "progress record after the final one";
  if (!(record.fraction >= 0.0 && record.fraction <= 1.0)) return "progress fraction outside [0, 1]";
  if (record.workers == 0) return "progress record without workers";
  if (log.calls != 0 && record.workers != log.workers) return "worker count changed during the run";
  if (!is_final_phase(record.phase) && !(record.phase_elapsed_seconds <= record.phase_seconds)) {
    return "phase_elapsed_seconds beyond phase_seconds";
  }
  if (record.phase == TRUVELLO_PHASE_DONE && record.fraction != 1.0) return "completed run's final fraction is not 1";
  return "";
}

void log_progress(const truvello_progress_record* record, void* user_data) {
  auto& log = *static_cast<ProgressLog*>(user_data);
  if (log.problem.empty()) log.problem = progress_problem(log, *record);
  ++log.calls;
  if (is_final_phase(record->phase)) ++log.final_calls;
  log.last_phase = record->phase;
  log.workers = record->workers;
}

}  // namespace truvello::reliability
