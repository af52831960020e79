#include "stored_outcome.h"

#include <cstring>

#include "sample_tiling.h"
#include "score_rules.h"

namespace truvello::testing {
namespace {

bool same_bytes(const truvello_result_record& a, const truvello_result_record& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string statistics_problem(const truvello_result_record& r) {
  if (r.status != TRUVELLO_STATUS_COMPLETED) {
    if (r.mean_rate != 0.0 || r.cv_valid != 0 || r.unstable != 0) return "statistics on a run that did not complete";
    return "";
  }
  if (r.total_ops == 0 || !(r.measured_seconds > 0.0)) return "completed without work";
  if (r.mean_rate != static_cast<double>(r.total_ops) / r.measured_seconds) return "mean_rate is not ops / seconds";
  if ((r.cv_valid == 1) != (r.sample_count >= 2)) return "cv_valid disagrees with the sample count";
  if (r.unstable != ((r.cv_valid == 1 && r.cv_percent > kUnstableCvPercent) ? 1u : 0u))
    return "unstable flag disagrees with cv";
  return "";
}

void ignore_progress(const truvello_progress_record*, void* calls) { ++*static_cast<int*>(calls); }

}  // namespace

truvello_config run_config(std::uint32_t benchmark, double warmup_seconds, double measurement_seconds) {
  truvello_config config{};
  truvello_default_config(&config);
  config.benchmark = benchmark;
  config.warmup_seconds = warmup_seconds;
  config.measurement_seconds = measurement_seconds;
  return config;
}

StoredOutcome read_outcome(truvello_handle* handle) {
  StoredOutcome out;
  if (truvello_result(handle, &out.result) != 1) out.result = truvello_result_record{};
  out.reason = truvello_reason(handle);
  if (out.reason != nullptr) out.reason_text = out.reason;
  out.samples.resize(out.result.sample_count);
  for (std::uint64_t i = 0; i < out.result.sample_count; ++i) truvello_sample(handle, i, &out.samples[i]);
  return out;
}

std::string read_stored_outcome(truvello_handle* handle, std::uint32_t returned, StoredOutcome& out) {
  if (truvello_result(handle, &out.result) != 1) return "no result stored after the run";
  out.reason = truvello_reason(handle);
  if (out.reason == nullptr) return "no reason stored after the run";
  out.reason_text = out.reason;
  const auto& r = out.result;
  if (r.abi_version != TRUVELLO_ABI_VERSION) return "result abi_version is not 1";
  if (r.status != returned) return "stored status differs from the returned one";
  if (r.status > TRUVELLO_STATUS_FAILED) return "unknown status";
  if (out.reason_text.empty() != (r.status == TRUVELLO_STATUS_COMPLETED)) return "reason disagrees with status";
  if (auto p = statistics_problem(r); !p.empty()) return p;

  out.samples.assign(r.sample_count, truvello_sample_record{});
  for (std::uint64_t i = 0; i < r.sample_count; ++i) {
    if (truvello_sample(handle, i, &out.samples[i]) != 1) return "a sample below sample_count is unreadable";
  }
  truvello_sample_record beyond{-1.0, -1.0, 7, -1.0};
  if (truvello_sample(handle, r.sample_count, &beyond) != 0) return "a sample past sample_count was read";
  if (beyond.t != -1.0 || beyond.ops != 7) return "a refused sample read wrote its record";
  return tiling_problem(out.samples, r.measured_seconds, r.total_ops);
}

std::string rerun_problem(truvello_handle* handle, const StoredOutcome& before) {
  const truvello_config config = run_config(TRUVELLO_BENCHMARK_SINGLE, 0.0, 0.001);
  int calls = 0;
  if (truvello_run(handle, &config, &ignore_progress, &calls) != TRUVELLO_STATUS_FAILED) {
    return "a handle ran twice";
  }
  if (calls != 0) return "a refused run called back";
  truvello_result_record after{};
  if (truvello_result(handle, &after) != 1 || !same_bytes(after, before.result))
    return "a refused run changed the result";
  const char* reason = truvello_reason(handle);
  if (reason != before.reason || before.reason_text != reason) return "a refused run changed the reason text";
  for (std::uint64_t i = 0; i < before.samples.size(); ++i) {
    truvello_sample_record s{};
    if (truvello_sample(handle, i, &s) != 1 || std::memcmp(&s, &before.samples[i], sizeof s) != 0) {
      return "a refused run changed a sample";
    }
  }
  return "";
}

}  // namespace truvello::testing
