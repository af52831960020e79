#pragma once

#include <sys/types.h>

namespace truvello::cli {

// Whether any process of the group is still running: one that has ended but
// was not reaped yet (a zombie) does not count, since it does nothing and
// its parent, which may be an init that never reaps, decides when it goes.
// Reads /proc when the group cannot be ruled out by a signal.
bool process_group_alive(pid_t group);

// Whether a process of the group is stopped (by SIGSTOP, or by SIGTTIN or
// SIGTTOU for touching a terminal whose foreground it is not). In a group
// of its own nobody else will continue it, so it waits for ever.
bool process_group_stopped(pid_t group);

}  // namespace truvello::cli
