// Figure 5: how quickly a run answers its host: from truvello_cancel to
// truvello_run returning, and from calling truvello_run to the first
// progress record, net of building the kernels.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "figures.h"
#include "host.h"
#include "library_run.h"
#include "owned_handle.h"
#include "spread.h"
#include "tight_loop.h"

namespace truvello::report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kCancelTargetMs = 15.0;
constexpr double kFirstProgressTargetMs = 5.0;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void mark_progress(const truvello_progress_record*, void* user_data) {
  static_cast<std::atomic<bool>*>(user_data)->store(true);
}

// One long all-CPU run cancelled from this thread once it is under way; the
// delay after the first progress record varies with `attempt` so that the
// cancellations fall at different points of the driver's 10 ms pass.
std::optional<double> cancel_latency_ms(int attempt) {
  const testing::OwnedHandle handle = testing::make_handle();
  truvello_config config{};
  truvello_default_config(&config);
  config.benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  config.warmup_seconds = 30.0;
  config.measurement_seconds = 30.0;

  std::atomic<bool> progressed{false};
  Clock::time_point returned{};
  std::uint32_t status = TRUVELLO_STATUS_FAILED;
  std::thread runner([&] {
    status = truvello_run(handle.get(), &config, &mark_progress, &progressed);
    returned = Clock::now();
  });
  while (!progressed.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  std::this_thread::sleep_for(std::chrono::microseconds(50'000 + (attempt * 3'700) % 10'000));
  const Clock::time_point cancelled = Clock::now();
  truvello_cancel(handle.get());
  runner.join();
  if (status != TRUVELLO_STATUS_CANCELLED) return std::nullopt;
  return ms(returned - cancelled);
}

}  // namespace

void responsiveness_figure(const Options& options, Table& table) {
  std::vector<double> cancel_ms;
  for (int i = 0; i < options.cancel_runs; ++i) {
    if (auto latency = cancel_latency_ms(i)) cancel_ms.push_back(*latency);
  }
  const Spread cancel = spread_of(cancel_ms);
  table.rows.push_back({"5a cancel to truvello_run returning (all CPUs)", spread_text(cancel, 2, " ms"), "<= 15 ms",
                        cancel.count > 0 && cancel.median <= kCancelTargetMs});

  // Alternates a run, cancelled at its first record, with building the same
  // number of kernels at once on fresh threads.
  std::vector<double> beyond_ms;
  std::vector<double> construction_ms;
  const auto cancel_at_first = [](const truvello_progress_record&, truvello_handle* h) { truvello_cancel(h); };
  for (int i = 0; i < options.first_progress_runs; ++i) {
    const RunObservation run = run_library({TRUVELLO_BENCHMARK_ALL_CPUS, 1.0, 1.0}, cancel_at_first);
    if (!run.first_progress_seconds || run.result.workers == 0) continue;
    const double build = kernel_construction_seconds(run.result.workers);
    construction_ms.push_back(build * 1e3);
    beyond_ms.push_back((*run.first_progress_seconds - build) * 1e3);
  }
  const Spread beyond = spread_of(beyond_ms);
  const Spread build = spread_of(construction_ms);
  table.rows.push_back({"5b call to first progress beyond kernel construction", spread_text(beyond, 2, " ms"),
                        "<= 5 ms", beyond.count > 0 && beyond.median <= kFirstProgressTargetMs});
  table.notes.push_back("figure 5b: kernel construction on fresh threads took " + spread_text(build, 2, " ms"));
}

}  // namespace truvello::report
