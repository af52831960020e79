#pragma once

#include <sys/types.h>

namespace truvello::cli {

// Whether any process of the group is still running: one that has ended but
// was not reaped yet (a zombie) does not count, since it does nothing and
// its parent, which may be an init that never reaps, decides when it goes.
// Reads /proc when the group cannot be ruled out by a signal.
bool process_group_alive(pid_t group);

}  // namespace truvello::cli
