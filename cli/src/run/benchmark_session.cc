#include "run/benchmark_session.h"

#include <algorithm>
#include <memory>

#include "machine/machine_probe.h"

namespace truvello::cli {

namespace {

struct HandleFree {
  void operator()(truvello_handle* handle) const { truvello_free(handle); }
};
using Handle = std::unique_ptr<truvello_handle, HandleFree>;

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
    outcome.status = truvello_run(handle.get(), &config, &ProgressDisplay::callback, &progress);
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
