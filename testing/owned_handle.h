#pragma once

// A run handle owned the way C++ owns things: freed when the owner is
// dropped, on every way out of a test.
#include <memory>

#include "truvello.h"

namespace truvello::testing {

struct HandleFree {
  void operator()(truvello_handle* handle) const { truvello_free(handle); }
};
using OwnedHandle = std::unique_ptr<truvello_handle, HandleFree>;

inline OwnedHandle make_handle() { return OwnedHandle(truvello_create()); }

}  // namespace truvello::testing
