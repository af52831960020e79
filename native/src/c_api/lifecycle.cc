// The exported entry points that need no run: versions, the handle's birth,
// death and cancellation, and the default configuration. None of them lets an
// exception reach the host.
#include <memory>

#include "config.h"
#include "handle.h"
#include "run_report.h"
#include "truvello.h"

namespace {

// noexcept on purpose: should the allocation fail, the process ends here
// rather than unwinding into C code.
truvello_handle* new_handle() noexcept { return std::make_unique<truvello_handle>().release(); }

}  // namespace

extern "C" {

uint32_t truvello_abi_version(void) { return truvello::kAbiVersion; }

const char* truvello_version(void) { return truvello::kVersion; }

truvello_handle* truvello_create(void) { return new_handle(); }

void truvello_free(truvello_handle* handle) {
  // Destroys the stored outcome and drops this handle's reference to the
  // cancellation flag; a run still holding the flag cannot exist, since free
  // must not overlap a call on the same handle.
  std::unique_ptr<truvello_handle> owned(handle);
}

void truvello_cancel(truvello_handle* handle) {
  if (handle == nullptr) return;
  // An atomic store and nothing else: safe from any thread, even while the
  // run holds the handle's mutex.
  handle->cancel->store(true);
}

int32_t truvello_default_config(truvello_config* out) {
  if (out == nullptr) return 0;
  *out = truvello::default_config();
  return 1;
}

}  // extern "C"
