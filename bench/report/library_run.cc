#include "library_run.h"

#include <chrono>

#include "host.h"
#include "owned_handle.h"
#include "stored_outcome.h"

namespace truvello::report {
namespace {

using Clock = std::chrono::steady_clock;

// The workers' counts and accounting at one progress record.
struct UsagePoint {
  std::uint64_t ops = 0;
  Clock::time_point at{};
  ThreadTimes workers;
};

struct CallbackState {
  const ProgressHook* hook = nullptr;
  truvello_handle* handle = nullptr;
  bool watch_workers = false;
  Clock::time_point called{};
  std::optional<double> first_progress;
  std::optional<UsagePoint> window_first;
  std::optional<UsagePoint> window_last;
};

void on_progress(const truvello_progress_record* record, void* user_data) {
  auto& state = *static_cast<CallbackState*>(user_data);
  const Clock::time_point now = Clock::now();
  if (!state.first_progress) state.first_progress = std::chrono::duration<double>(now - state.called).count();
  if (state.watch_workers && record->phase == TRUVELLO_PHASE_MEASUREMENT) {
    if (auto times = worker_thread_times()) {
      const UsagePoint point{record->ops, now, *times};
      if (!state.window_first) state.window_first = point;
      state.window_last = point;
    }
  }
  if (*state.hook) (*state.hook)(*record, state.handle);
}

std::optional<WindowUsage> usage_between(const std::optional<UsagePoint>& first,
                                         const std::optional<UsagePoint>& last) {
  if (!first || !last || !(last->at > first->at) || last->ops < first->ops) return std::nullopt;
  WindowUsage usage;
  usage.ops = last->ops - first->ops;
  usage.wall_seconds = std::chrono::duration<double>(last->at - first->at).count();
  usage.workers.on_cpu_seconds = last->workers.on_cpu_seconds - first->workers.on_cpu_seconds;
  usage.workers.waiting_seconds = last->workers.waiting_seconds - first->workers.waiting_seconds;
  usage.workers.threads = last->workers.threads;
  usage.workers.last_cpu = last->workers.last_cpu;
  usage.worker_moved = first->workers.last_cpu != last->workers.last_cpu;
  return usage;
}

}  // namespace

double WindowUsage::ops_per_cpu_second() const {
  return workers.on_cpu_seconds > 0.0 ? static_cast<double>(ops) / workers.on_cpu_seconds : 0.0;
}

double WindowUsage::waiting_share() const {
  const double total = workers.on_cpu_seconds + workers.waiting_seconds;
  return total > 0.0 ? workers.waiting_seconds / total : 0.0;
}

RunObservation run_library(const RunPlan& plan, const ProgressHook& hook) {
  const testing::OwnedHandle handle = testing::make_handle();
  truvello_config config{};
  truvello_default_config(&config);
  config.benchmark = plan.benchmark;
  config.warmup_seconds = plan.warmup_seconds;
  config.measurement_seconds = plan.measurement_seconds;

  CallbackState state;
  state.hook = &hook;
  state.handle = handle.get();
  state.watch_workers = plan.watch_workers;

  RunObservation seen;
  const double cpu_before = thread_cpu_seconds();
  state.called = Clock::now();
  seen.status = truvello_run(handle.get(), &config, &on_progress, &state);
  seen.wall_seconds = std::chrono::duration<double>(Clock::now() - state.called).count();
  seen.caller_cpu_seconds = thread_cpu_seconds() - cpu_before;
  seen.first_progress_seconds = state.first_progress;
  seen.window = usage_between(state.window_first, state.window_last);

  testing::StoredOutcome stored = testing::read_outcome(handle.get());
  seen.result = stored.result;
  seen.reason = std::move(stored.reason_text);
  seen.samples = std::move(stored.samples);
  return seen;
}

}  // namespace truvello::report
