#include "main/benchmark_session.h"

#include <algorithm>
#include <memory>

#include "machine/machine_probe.h"
#include "machine/worker_watch.h"

namespace truvello::cli {

namespace {

struct HandleFree {
  void operator()(truvello_handle* handle) const { truvello_free(handle); }
};
using Handle = std::unique_ptr<truvello_handle, HandleFree>;

// The progress callback the library is given: tells the worker watch when
// the measurement begins, then shows the record. Runs on the library's
// thread, so the watch is only told, never waited for.
struct ProgressRelay {
  ProgressDisplay& display;
  WorkerWatch& watch;

  static void callback(const truvello_progress_record* record, void* user_data) {
    if (record == nullptr || user_data == nullptr) return;
    auto& relay = *static_cast<ProgressRelay*>(user_data);
    if (record->phase == TRUVELLO_PHASE_MEASUREMENT) relay.watch.measurement_started();
    ProgressDisplay::callback(record, &relay.display);
  }
};

}  // namespace

RunOutcome run_benchmark(const truvello_config& config, SignalWatch& signals, ProgressDisplay& progress) {
  RunOutcome outcome;
  outcome.config = config;
  const Handle handle(truvello_create());
  {
    // Ends before the handle is freed, so the watcher never cancels a
    // released handle.
    const SignalWatch::Attachment attachment(signals, handle.get());
    outcome.throttle_before = read_throttle_total();
    WorkerWatch watch;
    ProgressRelay relay{progress, watch};
    outcome.status = truvello_run(handle.get(), &config, &ProgressRelay::callback, &relay);
    outcome.observation = watch.finish();
    outcome.throttle_after = read_throttle_total();
  }
  truvello_result_record result{};
  if (truvello_result(handle.get(), &result) == 1) {
    outcome.result = result;
    outcome.samples.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(result.sample_count, 1u << 20)));
    for (std::uint64_t i = 0; i < result.sample_count; ++i) {
      truvello_sample_record sample{};
      if (truvello_sample(handle.get(), i, &sample) != 1) break;
      outcome.samples.push_back(sample);
    }
  }
  if (const char* reason = truvello_reason(handle.get())) outcome.reason = reason;
  return outcome;
}

}  // namespace truvello::cli
