// The readers: copies out of the handle's stored outcome, under its mutex,
// written to the host's record only on success and then completely.
#include <cstddef>
#include <mutex>

#include "handle.h"
#include "run_report.h"
#include "truvello.h"

namespace truvello {
namespace {

truvello_result_record result_record(const RunReport& r) {
  truvello_result_record out{};
  out.abi_version = TRUVELLO_ABI_VERSION;
  out.status = r.status;
  out.benchmark = r.benchmark;
  out.workers = r.workers;
  out.mean_rate = r.mean_rate.value_or(0.0);
  out.warmup_seconds = r.warmup_seconds;
  out.measurement_seconds = r.measurement_seconds;
  out.measured_seconds = r.measured_seconds;
  out.cv_percent = r.cv_percent.value_or(0.0);
  out.total_ops = r.total_ops;
  out.checksum = r.checksum;
  out.sample_count = r.samples.size();
  out.unstable = r.unstable ? 1 : 0;
  out.cv_valid = r.cv_percent ? 1 : 0;
  return out;
}

// The engine's own constants and records are the C interface's, value for
// value and field for field.
static_assert(kStatusCompleted == TRUVELLO_STATUS_COMPLETED);
static_assert(kStatusCancelled == TRUVELLO_STATUS_CANCELLED);
static_assert(kStatusFailed == TRUVELLO_STATUS_FAILED);
static_assert(kAbiVersion == TRUVELLO_ABI_VERSION);
static_assert(sizeof(Sample) == sizeof(truvello_sample_record));
static_assert(offsetof(Sample, t) == offsetof(truvello_sample_record, t));
static_assert(offsetof(Sample, dt) == offsetof(truvello_sample_record, dt));
static_assert(offsetof(Sample, ops) == offsetof(truvello_sample_record, ops));
static_assert(offsetof(Sample, rate) == offsetof(truvello_sample_record, rate));

}  // namespace
}  // namespace truvello

extern "C" {

int32_t truvello_result(truvello_handle* handle, truvello_result_record* out) {
  if (handle == nullptr || out == nullptr) return 0;
  std::lock_guard<std::mutex> lock(handle->last_mutex);
  if (!handle->last) return 0;
  *out = truvello::result_record(handle->last->report);
  return 1;
}

int32_t truvello_sample(truvello_handle* handle, uint64_t index, truvello_sample_record* out) {
  if (handle == nullptr || out == nullptr) return 0;
  std::lock_guard<std::mutex> lock(handle->last_mutex);
  if (!handle->last || index >= handle->last->report.samples.size()) return 0;
  const truvello::Sample& s = handle->last->report.samples[index];
  *out = truvello_sample_record{s.t, s.dt, s.ops, s.rate};
  return 1;
}

const char* truvello_reason(truvello_handle* handle) {
  if (handle == nullptr) return nullptr;
  std::lock_guard<std::mutex> lock(handle->last_mutex);
  if (!handle->last) return nullptr;
  return handle->last->reason_text.data();
}

}  // extern "C"
