#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "run_report.h"
#include "truvello.h"

namespace truvello {

// The outcome of a handle's one run, as the readers hand it out.
struct Stored {
  RunReport report;
  // The report's reason as a NUL-terminated C string. The host keeps pointers
  // into this buffer until truvello_free, so it is built once and never
  // resized or moved out while stored.
  std::vector<char> reason_text;
};

}  // namespace truvello

// The C boundary code lives outside the namespace and names it plainly.
using truvello::Stored;

// What a host's truvello_handle pointer points to. Created by truvello_create,
// destroyed by truvello_free; nothing else owns it.
struct truvello_handle {
  // Shared with a run for as long as the run lasts, so that a cancellation
  // from another thread always lands on a live flag. Set once, never reset.
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);

  // The stored outcome; empty until the run has finished. Read and written
  // only with last_mutex held, and only for the copy in or out, never around
  // a call into the run engine or the host.
  std::mutex last_mutex;
  std::optional<Stored> last;

  // Claimed by the first truvello_run and never cleared: a handle runs once.
  std::atomic<bool> started{false};
};
