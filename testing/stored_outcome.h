#pragma once

// A handle's stored outcome as a host reads it through truvello_result,
// truvello_sample and truvello_reason, with the consistency every outcome
// owes its reader.
#include <cstdint>
#include <string>
#include <vector>

#include "truvello.h"

namespace truvello::testing {

struct StoredOutcome {
  truvello_result_record result{};
  const char* reason = nullptr;  // the handle's own text, not a copy
  std::string reason_text;
  std::vector<truvello_sample_record> samples;
};

// Reads whatever the handle holds, checking nothing: the result (zeros when
// there is none), the reason (null and "" when there is none) and the
// samples the result counts.
StoredOutcome read_outcome(truvello_handle* handle);

// A valid record: benchmark 1 or 2, the given seconds.
truvello_config run_config(std::uint32_t benchmark, double warmup_seconds, double measurement_seconds);

// Reads the outcome of a finished run into `out` and checks it against the
// status truvello_run returned: result and reason present, status and reason
// agreeing, statistics present exactly for a completed run, every sample
// readable and none past the count, and samples that tile the measured window
// and add up to total_ops. Returns the first problem, or "".
std::string read_stored_outcome(truvello_handle* handle, std::uint32_t returned, StoredOutcome& out);

// A later truvello_run on a handle that has run: must return
// TRUVELLO_STATUS_FAILED at once, never call back, and leave the result, the
// samples and the reason text (address and content) as they were. Returns the
// first problem, or "".
std::string rerun_problem(truvello_handle* handle, const StoredOutcome& before);

}  // namespace truvello::testing
