#include "join_handle.h"

namespace truvello {
namespace {
// Any distinct non-null address marks an abnormal end.
char abnormal_marker;
}  // namespace

void* JoinHandle::exit_value(Outcome outcome) { return outcome == Outcome::kAbnormal ? &abnormal_marker : nullptr; }

JoinHandle::Outcome JoinHandle::join() {
  if (!joinable_) return Outcome::kNormal;
  joinable_ = false;
  void* result = nullptr;
  pthread_join(thread_, &result);
  return result == &abnormal_marker ? Outcome::kAbnormal : Outcome::kNormal;
}

JoinHandle::~JoinHandle() { join(); }

}  // namespace truvello
