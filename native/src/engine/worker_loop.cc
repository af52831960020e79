#include "worker_loop.h"

#include <optional>

#include "runtime.h"

namespace truvello {
void run_worker(WorkerTask task) {
  auto built = task.runtime.kernel(task.index);
  {
    // Exactly one entry, and the sending end goes right after it.
    ReadySender ready = std::move(task.ready);
    ready.send(built.ok() ? Readiness(Unit{}) : Readiness::error(built.message()));
  }
  if (!built.ok()) return;
  Kernel kernel = std::move(built).value();

  task.run.gate.wait();
  const auto& stop = task.run.stop;
  const auto& cancel = task.cancel;
  if (stop.load(std::memory_order_relaxed)) return;  // dismissed: counters untouched

  const Timing& timing = task.run.timing.get();
  const Instant warm_end = timing.warm_end;
  const Instant end = timing.end;
  Counters& counters = task.run.counters[task.index];
  std::uint64_t last_result = 0;

  for (;;) {
    // One clock reading per batch classifies the whole batch.
    const Instant now = Instant::now();
    if (stop.load(std::memory_order_relaxed)) break;
    if (cancel.load(std::memory_order_relaxed)) break;
    if (now >= end) break;
    auto& counter = now < warm_end ? counters.warmup_ops : counters.measured_ops;
    for (std::uint64_t s = 0; s < kBatchSteps; ++s) last_result = kernel.step();
    counter.fetch_add(kBatchSteps, std::memory_order_relaxed);
  }

  const Instant exit = Instant::now();
  counters.measured_ns.store(exit.saturating_since(warm_end).saturating_nanos(), std::memory_order_relaxed);
  counters.checksum.store(last_result, std::memory_order_relaxed);
}

}  // namespace truvello
