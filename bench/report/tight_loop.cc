#include "tight_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <vector>

#include "host.h"
#include "kernel.h"
#include "spread.h"

namespace truvello::report {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kBatch = 8;

// Keeps the last result observable so the steps cannot be dropped.
std::atomic<std::uint64_t> g_sink{0};

Kernel build_or_exit(std::uint64_t seed) {
  auto built = Kernel::new_with_allocator(seed);
  if (!built.ok()) {
    std::fprintf(stderr, "cannot build a kernel: %s\n", built.message().c_str());
    std::exit(1);
  }
  return std::move(built).value();
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

LoopRate tight_loop_rate(double warmup_seconds, double measurement_seconds, int cpu) {
  LoopRate rate;
  std::thread stepper([&] {
    if (cpu >= 0) pin_this_thread(cpu);
    Kernel kernel = build_or_exit(0);
    const auto start = Clock::now();
    const auto warm_end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(warmup_seconds));
    const auto end =
        warm_end + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(measurement_seconds));
    std::uint64_t counted = 0;
    std::uint64_t last = 0;
    std::optional<ThreadTimes> times_at_warm_end;
    for (;;) {
      const auto now = Clock::now();
      if (now >= end) break;
      if (now >= warm_end && !times_at_warm_end) times_at_warm_end = this_thread_times();
      for (std::uint64_t s = 0; s < kBatch; ++s) last = kernel.step();
      if (now >= warm_end) counted += kBatch;
    }
    const auto exit = Clock::now();
    const auto times_at_exit = this_thread_times();
    if (times_at_exit) rate.cpu = times_at_exit->last_cpu;
    g_sink.store(last, std::memory_order_relaxed);
    rate.ops_per_second = static_cast<double>(counted) / seconds(exit - warm_end);
    if (times_at_warm_end && times_at_exit) {
      const double on_cpu = times_at_exit->on_cpu_seconds - times_at_warm_end->on_cpu_seconds;
      const double waiting = times_at_exit->waiting_seconds - times_at_warm_end->waiting_seconds;
      if (on_cpu > 0.0) rate.ops_per_cpu_second = static_cast<double>(counted) / on_cpu;
      if (on_cpu + waiting > 0.0) rate.waiting_share = waiting / (on_cpu + waiting);
    }
  });
  stepper.join();
  return rate;
}

double measured_step_ns(int repetitions, double seconds_each) {
  Kernel kernel = build_or_exit(0);
  std::vector<double> per_step;
  std::uint64_t last = 0;
  for (int r = 0; r < repetitions; ++r) {
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds_each));
    std::uint64_t steps = 0;
    auto now = start;
    while (now < end) {
      for (std::uint64_t s = 0; s < kBatch; ++s) last = kernel.step();
      steps += kBatch;
      now = Clock::now();
    }
    per_step.push_back(seconds(now - start) * 1e9 / static_cast<double>(steps));
  }
  g_sink.store(last, std::memory_order_relaxed);
  return spread_of(per_step).median;
}

double kernel_construction_seconds(unsigned workers) {
  std::vector<double> took(workers, 0.0);
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (unsigned i = 0; i < workers; ++i) {
    threads.emplace_back([i, &took] {
      const auto begin = Clock::now();
      Kernel kernel = build_or_exit(i);
      took[i] = seconds(Clock::now() - begin);
      g_sink.store(kernel.state(), std::memory_order_relaxed);
    });
  }
  for (auto& t : threads) t.join();
  double slowest = 0.0;
  for (double t : took) slowest = std::max(slowest, t);
  return slowest;
}

}  // namespace truvello::report
