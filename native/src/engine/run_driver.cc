#include "run_driver.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "clock.h"
#include "platform.h"
#include "readiness_queue.h"
#include "statistics.h"
#include "threads.h"
#include "worker_loop.h"

namespace truvello {

std::atomic<bool> ACTIVE{false};

namespace {

constexpr Duration kPassInterval{0, 10'000'000};
// Enough room for the samples of most runs, so sampling rarely allocates.
constexpr std::uint64_t kReservedSamples = 4096;

// Clears ACTIVE when the claiming scope ends, however it ends.
class ActiveClaim {
 public:
  ActiveClaim() = default;
  ActiveClaim(const ActiveClaim&) = delete;
  ActiveClaim& operator=(const ActiveClaim&) = delete;
  ~ActiveClaim() { ACTIVE.store(false); }
};

double capped_fraction(Duration elapsed, double planned_seconds) {
  const double quotient = elapsed.as_seconds() / planned_seconds;
  if (std::isnan(quotient)) return 1.0;
  return std::min(quotient, 1.0);
}

bool report_due(Duration since_last) { return since_last.secs != 0 || since_last.nanos > 99'999'999; }

Duration shorter(Duration a, Duration b) {
  if (a.secs != b.secs) return a.secs < b.secs ? a : b;
  return a.nanos < b.nanos ? a : b;
}

void sleep_for(Duration d) {
  if (d.is_zero()) return;
  platform::sleep_for(d.secs, d.nanos);
}

std::uint32_t final_phase(std::uint32_t status) {
  if (status == kStatusCompleted) return kPhaseDone;
  if (status == kStatusCancelled) return kPhaseCancelled;
  return kPhaseFailed;
}

// Opens the start gate exactly once per run, one of two ways: `open` lets
// the workers run; `dismiss`, or leaving set-up without either (an early
// return, or an exception such as exhausted memory), sets `stop` first and
// then opens the gate, so that every worker already started passes it, sees
// `stop` and ends without running. Declared after the worker set, so that it
// is destroyed, and the gate opened, before any worker is joined: otherwise a
// join would wait forever for a worker held at a gate nobody opens.
class GateGuard {
 public:
  GateGuard(StartGate& gate, std::atomic<bool>& stop) : gate_(gate), stop_(stop) {}
  GateGuard(const GateGuard&) = delete;
  GateGuard& operator=(const GateGuard&) = delete;
  ~GateGuard() { dismiss(); }

  void open() {
    if (opened_) return;
    opened_ = true;
    gate_.release();
  }

  void dismiss() {
    if (opened_) return;
    stop_.store(true);
    open();
  }

 private:
  StartGate& gate_;
  std::atomic<bool>& stop_;
  bool opened_ = false;
};

// Watches a released run until its end or cancellation: one pass every
// 10 ms, a sample per second of measurement, progress at most every 100 ms
// and at each phase change.
void sample_until_end(RunReport& report, const RunState& run, const Timing& timing, const RunLengths& lengths,
                      const std::atomic<bool>& cancel, const ProgressSink& progress) {
  const double planned = lengths.planned_seconds();
  double last_t = 0.0;
  std::uint64_t last_ops = 0;
  std::optional<std::uint32_t> last_phase;
  Instant last_report{};
  report.samples.reserve(std::min(lengths.measurement().secs + 2, kReservedSamples));

  for (;;) {
    const Instant now = Instant::now();
    const bool measuring = now >= timing.warm_end;
    const std::uint32_t phase = measuring ? kPhaseMeasurement : kPhaseWarmup;
    const Instant phase_begin = measuring ? timing.warm_end : timing.start;
    const Duration phase_length = measuring ? lengths.measurement() : lengths.warmup();

    std::uint64_t sum = 0;
    for (const auto& c : run.counters) {
      sum += (measuring ? c.measured_ops : c.warmup_ops).load(std::memory_order_relaxed);
    }

    if (measuring) {
      const double t = now.saturating_since(timing.warm_end).as_seconds();
      if (t - last_t >= 1.0 && now < timing.end) append_sample(report.samples, sum, last_t, last_ops, t);
    }

    if (!last_phase || *last_phase != phase || report_due(now.saturating_since(last_report))) {
      if (progress) {
        Progress p;
        p.fraction = capped_fraction(now.saturating_since(timing.start), planned);
        p.phase_elapsed_seconds = std::min(now.saturating_since(phase_begin).as_seconds(), phase_length.as_seconds());
        p.phase_seconds = phase_length.as_seconds();
        p.ops = sum;
        p.workers = report.workers;
        p.phase = phase;
        progress(p);
      }
      last_report = now;
      last_phase = phase;
    }

    if (cancel.load()) break;
    if (now >= timing.end) break;
    sleep_for(shorter(timing.end.saturating_since(Instant::now()), kPassInterval));
  }
}

// Everything after admission. Returns with the report complete; the run
// state is released on the way out in the reverse order of its creation:
// receiving end, the driver's sending end, the gate guard (which dismisses
// the workers if the run never started), the workers (stopped and joined),
// and last the run state they referred to.
void drive(RunReport& report, std::uint32_t benchmark, const RunLengths& lengths,
           const std::shared_ptr<std::atomic<bool>>& cancel, const ProgressSink& progress,
           const std::shared_ptr<Runtime>& runtime) {
  std::uint32_t n = 1;
  if (benchmark != kBenchmarkSingle) {
    auto cpus = runtime->available_cpus();
    if (!cpus.ok()) {
      report.reason = "cannot determine available CPUs: " + cpus.message().display();
      return;
    }
    n = cpus.value();
  }
  report.workers = n;
  if (cancel->load()) {
    report.status = kStatusCancelled;
    report.reason = "cancelled before starting";
    return;
  }

  RunState run(n);  // declared before the workers, so it outlives them
  Workers workers(run.stop);
  // Room for every handle before the first thread starts, so that keeping
  // the handle of a started thread cannot fail.
  workers.reserve(n);
  GateGuard gate(run.gate, run.stop);
  auto queue = ReadinessQueue::make();  // destroyed receiver first, then sender
  ReadySender& sender = queue.first;
  ReadyReceiver& receiver = queue.second;

  // Sends the started workers home without running.
  auto dismiss = [&](std::string reason) {
    gate.dismiss();
    report.reason = std::move(reason);
  };

  for (std::uint32_t i = 0; i < n; ++i) {
    WorkerTask task{i, sender.clone(), *runtime, run, *cancel};
    auto started = runtime->spawn(i, WorkItem([task = std::move(task)]() mutable { run_worker(std::move(task)); }));
    if (!started.ok()) return dismiss("cannot start worker: " + started.message().display());
    workers.add(std::move(started).value());
  }
  sender.release();

  for (std::uint32_t i = 0; i < n; ++i) {
    std::optional<Readiness> received = receiver.receive();
    if (!received || !received->ok()) return dismiss("worker initialization failed: " + debug_rendering(received));
  }

  const Instant start = Instant::now();
  const std::optional<Instant> warm_end = start.checked_add(lengths.warmup());
  const std::optional<Instant> end = warm_end ? warm_end->checked_add(lengths.measurement()) : std::nullopt;
  if (!end) return dismiss("requested duration exceeds the monotonic clock range");
  const Timing timing{start, *warm_end, *end};
  run.timing.set(timing);
  gate.open();

  sample_until_end(report, run, timing, lengths, *cancel, progress);

  run.stop.store(true);
  const bool panicked = workers.join_all();
  WorkerTotals totals;
  for (const auto& c : run.counters) {
    totals.add(c.measured_ops.load(std::memory_order_relaxed), c.measured_ns.load(std::memory_order_relaxed),
               c.checksum.load(std::memory_order_relaxed));
  }
  totals.store_in(report);
  finish_samples(report);
  finish_result(report, panicked, cancel->load());

  if (progress) {
    Progress last;
    last.phase = final_phase(report.status);
    last.fraction = report.status == kStatusCompleted
                        ? 1.0
                        : capped_fraction(Instant::now().saturating_since(start), lengths.planned_seconds());
    last.phase_elapsed_seconds = report.measured_seconds;
    // The measurement phase's planned length as the loop's records gave it:
    // the duration's, which the report's host seconds need not equal.
    last.phase_seconds = lengths.measurement().as_seconds();
    last.ops = report.total_ops;
    last.workers = n;
    progress(last);
  }
}

}  // namespace

RunReport run_with(std::uint32_t benchmark, const RunLengths& lengths, const std::shared_ptr<std::atomic<bool>>& cancel,
                   const ProgressSink& progress, std::shared_ptr<Runtime> runtime) {
  // A RunLengths always has a measurement to run, so admission is the first
  // thing to decide.
  RunReport report = make_report(benchmark, lengths.warmup_seconds(), lengths.measurement_seconds());
  bool idle = false;
  if (!ACTIVE.compare_exchange_strong(idle, true)) {
    report.reason = "another benchmark is already running";
    return report;
  }
  {
    ActiveClaim claim;
    drive(report, benchmark, lengths, cancel, progress, runtime);
  }
  runtime.reset();  // the very last step
  return report;
}

}  // namespace truvello
