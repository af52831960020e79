#include "statistics.h"

#include <algorithm>
#include <cmath>

namespace truvello {

void append_sample(std::vector<Sample>& samples, std::uint64_t ops_now, double& last_t, std::uint64_t& last_ops,
                   double t) {
  const double dt = t - last_t;
  if (!(dt > 0.0)) return;
  const std::uint64_t ops = ops_now < last_ops ? 0 : ops_now - last_ops;
  samples.push_back(Sample{t, dt, ops, static_cast<double>(ops) / dt});
  last_t = t;
  last_ops = ops_now;
}

void WorkerTotals::add(std::uint64_t measured_ops, std::uint64_t measured_ns, std::uint64_t worker_checksum) {
  ops += measured_ops;
  max_ns = std::max(max_ns, measured_ns);
  checksum ^= worker_checksum;
}

void WorkerTotals::store_in(RunReport& report) const {
  report.total_ops = ops;
  report.measured_seconds = static_cast<double>(max_ns) / 1e9;
  report.checksum = checksum;
}

void finish_samples(RunReport& report) {
  auto& samples = report.samples;
  while (!samples.empty() && !(samples.back().t < report.measured_seconds)) samples.pop_back();
  const double t0 = samples.empty() ? 0.0 : samples.back().t;
  std::uint64_t kept = 0;
  for (const Sample& s : samples) kept += s.ops;
  const double dt = report.measured_seconds - t0;
  if (!(dt > 0.0)) return;
  const std::uint64_t ops = kept > report.total_ops ? 0 : report.total_ops - kept;
  samples.push_back(Sample{report.measured_seconds, dt, ops, static_cast<double>(ops) / dt});
}

void finish_result(RunReport& report, bool panicked, bool cancelled) {
  if (panicked) {
    report.reason = "a benchmark worker panicked";
    return;
  }
  if (cancelled) {
    report.status = kStatusCancelled;
    report.reason = "cancelled";
    return;
  }
  if (report.total_ops == 0 || report.measured_seconds == 0.0) {
    report.reason = "measurement window was too short to complete any work";
    return;
  }
  report.status = kStatusCompleted;
  const double mean = static_cast<double>(report.total_ops) / report.measured_seconds;
  report.mean_rate = mean;
  if (report.samples.size() < 2) return;
  double sum = 0.0;
  for (const Sample& s : report.samples) {
    const double dev = s.rate - mean;
    sum += (dev * dev) * s.dt;
  }
  const double variance = sum / report.measured_seconds;
  const double cv = std::sqrt(variance) / mean * 100.0;
  report.cv_percent = cv;
  report.unstable = cv > kUnstableCvPercent;
}

}  // namespace truvello
