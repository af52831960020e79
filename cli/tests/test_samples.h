#pragma once

#include <initializer_list>
#include <vector>

#include "truvello.h"

namespace truvello::cli::testing {

// A series of one-second samples with the given rates, tiling the window from
// 0 as the library's samples do.
inline std::vector<truvello_sample_record> one_second_samples(std::initializer_list<double> rates) {
  std::vector<truvello_sample_record> out;
  double t = 0.0;
  for (double rate : rates) {
    t += 1.0;
    out.push_back(truvello_sample_record{t, 1.0, static_cast<uint64_t>(rate), rate});
  }
  return out;
}

// A completed result record consistent with the samples.
inline truvello_result_record completed_result(const std::vector<truvello_sample_record>& samples,
                                               uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE, uint32_t workers = 1) {
  truvello_result_record r{};
  r.abi_version = TRUVELLO_ABI_VERSION;
  r.status = TRUVELLO_STATUS_COMPLETED;
  r.benchmark = benchmark;
  r.workers = workers;
  r.warmup_seconds = 2.0;
  r.measurement_seconds = samples.empty() ? 0.0 : samples.back().t;
  r.measured_seconds = r.measurement_seconds;
  for (const auto& s : samples) r.total_ops += s.ops;
  r.mean_rate = r.measured_seconds > 0 ? static_cast<double>(r.total_ops) / r.measured_seconds : 0.0;
  r.sample_count = samples.size();
  r.cv_valid = samples.size() >= 2 ? 1 : 0;
  r.checksum = 0x0123456789abcdefULL;
  return r;
}

}  // namespace truvello::cli::testing
