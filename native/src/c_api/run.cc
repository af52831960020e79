// truvello_run: claim the handle, validate, run under a guard, store the
// outcome.
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "config.h"
#include "handle.h"
#include "reason_text.h"
#include "run_driver.h"
#include "runtime.h"
#include "truvello.h"

namespace truvello {
namespace {

// The engine's phases and benchmark selector are the C interface's.
static_assert(kPhaseWarmup == TRUVELLO_PHASE_WARMUP);
static_assert(kPhaseMeasurement == TRUVELLO_PHASE_MEASUREMENT);
static_assert(kPhaseDone == TRUVELLO_PHASE_DONE);
static_assert(kPhaseCancelled == TRUVELLO_PHASE_CANCELLED);
static_assert(kPhaseFailed == TRUVELLO_PHASE_FAILED);
static_assert(kBenchmarkSingle == TRUVELLO_BENCHMARK_SINGLE);

RunReport failed_report(const char* reason, std::uint32_t benchmark, double warmup_seconds,
                        double measurement_seconds) {
  RunReport report = make_report(benchmark, warmup_seconds, measurement_seconds);
  report.reason = reason;
  return report;
}

// Hands the driver's progress events to the host's callback in the C
// layout, on the calling thread. user_data is passed through, never touched.
ProgressSink progress_adapter(truvello_progress_fn callback, void* user_data) {
  if (callback == nullptr) return {};
  return [callback, user_data](Progress p) {
    const truvello_progress_record record{p.phase,         p.workers, p.fraction, p.phase_elapsed_seconds,
                                          p.phase_seconds, p.ops};
    callback(&record, user_data);
  };
}

// Runs one validated configuration. Anything that escapes the run becomes a
// failed outcome here and never reaches the host.
RunReport execute(const ValidConfig& config, const std::shared_ptr<std::atomic<bool>>& cancel,
                  truvello_progress_fn callback, void* user_data) {
  try {
    return run_with(config.benchmark, config.lengths, cancel, progress_adapter(callback, user_data),
                    std::make_shared<System>());
  } catch (...) {
    return failed_report("native benchmark panicked", config.benchmark, config.lengths.warmup_seconds(),
                         config.lengths.measurement_seconds());
  }
}

// noexcept: exhausted memory while storing the outcome ends the process
// rather than unwinding into C.
std::uint32_t run(truvello_handle* handle, const truvello_config* config, truvello_progress_fn callback,
                  void* user_data) noexcept {
  if (handle == nullptr) return kStatusFailed;
  if (handle->started.exchange(true)) return kStatusFailed;  // refused: nothing changes

  const auto checked = validate_config(config);
  RunReport report;
  if (const auto* rejection = std::get_if<ConfigRejection>(&checked)) {
    report = failed_report(rejection->reason, rejection->benchmark, rejection->warmup_seconds,
                           rejection->measurement_seconds);
  } else {
    report = execute(std::get<ValidConfig>(checked), handle->cancel, callback, user_data);
  }

  const std::uint32_t status = report.status;
  std::vector<char> text = reason_text(report.reason);
  {
    std::lock_guard<std::mutex> lock(handle->last_mutex);
    handle->last.emplace(Stored{std::move(report), std::move(text)});
  }
  return status;
}

}  // namespace
}  // namespace truvello

extern "C" uint32_t truvello_run(truvello_handle* handle, const truvello_config* config, truvello_progress_fn callback,
                                 void* user_data) {
  return truvello::run(handle, config, callback, user_data);
}
