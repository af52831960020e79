#include "machine/process_group.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

extern char** environ;

namespace truvello::cli {
namespace {

// `/bin/sh -c script` leading a group of its own.
pid_t spawn_group(const std::string& script) {
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  std::string shell = "/bin/sh", dash_c = "-c", text = script;
  char* argv[] = {shell.data(), dash_c.data(), text.data(), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv, environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

// A group counts while a member runs, and no longer once all that is left of
// it is a process that ended and was not reaped yet.
TEST(ProcessGroup, AliveWhileAMemberRunsNotWhenOnlyAZombieIsLeft) {
  EXPECT_TRUE(process_group_alive(getpgrp())) << "this test's own group";

  const pid_t running = spawn_group("exec sleep 30");
  ASSERT_GT(running, 0);
  EXPECT_TRUE(process_group_alive(running));
  killpg(running, SIGKILL);
  // Ended, not reaped: a zombie still holds the group's id.
  siginfo_t info{};
  ASSERT_EQ(waitid(P_PID, static_cast<id_t>(running), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(process_group_alive(running));
  ASSERT_EQ(waitpid(running, nullptr, 0), running);
  EXPECT_FALSE(process_group_alive(running)) << "nothing left of it at all";
}

}  // namespace
}  // namespace truvello::cli
