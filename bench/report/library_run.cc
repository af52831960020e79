#include "library_run.h"

#include <chrono>
#include <memory>

#include "host.h"

namespace truvello::report {
namespace {

using Clock = std::chrono::steady_clock;

struct CallbackState {
  const ProgressHook* hook = nullptr;
  truvello_handle* handle = nullptr;
  Clock::time_point called{};
  std::optional<double> first_progress;
};

void on_progress(const truvello_progress_record* record, void* user_data) {
  auto& state = *static_cast<CallbackState*>(user_data);
  if (!state.first_progress) {
    state.first_progress = std::chrono::duration<double>(Clock::now() - state.called).count();
  }
  if (*state.hook) (*state.hook)(*record, state.handle);
}

struct HandleFree {
  void operator()(truvello_handle* h) const { truvello_free(h); }
};

}  // namespace

RunObservation run_library(const RunSpec& spec, const ProgressHook& hook) {
  std::unique_ptr<truvello_handle, HandleFree> handle(truvello_create());
  truvello_config config{};
  truvello_default_config(&config);
  config.benchmark = spec.benchmark;
  config.warmup_seconds = spec.warmup_seconds;
  config.measurement_seconds = spec.measurement_seconds;

  CallbackState state;
  state.hook = &hook;
  state.handle = handle.get();

  RunObservation seen;
  const double cpu_before = thread_cpu_seconds();
  state.called = Clock::now();
  seen.status = truvello_run(handle.get(), &config, &on_progress, &state);
  seen.wall_seconds = std::chrono::duration<double>(Clock::now() - state.called).count();
  seen.caller_cpu_seconds = thread_cpu_seconds() - cpu_before;
  seen.first_progress_seconds = state.first_progress;

  truvello_result(handle.get(), &seen.result);
  if (const char* reason = truvello_reason(handle.get())) seen.reason = reason;
  seen.samples.resize(seen.result.sample_count);
  for (std::uint64_t i = 0; i < seen.result.sample_count; ++i) truvello_sample(handle.get(), i, &seen.samples[i]);
  return seen;
}

}  // namespace truvello::report
