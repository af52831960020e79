#include "runtime.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <string.h>

#include <atomic>
#include <fstream>
#include <string>

namespace truvello {
namespace {

std::string own_thread_name() {
  char name[64] = {};
  pthread_getname_np(pthread_self(), name, sizeof name);
  return name;
}

std::string name_seen_by(System& system, std::uint64_t index) {
  std::string seen;
  auto handle = system.spawn(index, WorkItem([&seen] { seen = own_thread_name(); }));
  EXPECT_TRUE(handle.ok());
  EXPECT_EQ(handle.value().join(), JoinHandle::Outcome::kNormal);
  return seen;
}

TEST(System, ThreadsNameThemselvesAfterTheirIndex) {
  System system;
  EXPECT_EQ(name_seen_by(system, 0), "truvello-0");
  EXPECT_EQ(name_seen_by(system, 10), "truvello-10");
  // Linux keeps 15 bytes; a longer name is cut and the thread still starts.
  EXPECT_EQ(name_seen_by(system, 18446744073709551615ull), "truvello-184467");
  EXPECT_EQ(System::thread_name(18446744073709551615ull), "truvello-18446744073709551615");
}

TEST(System, ThreadsGetTwoMebibyteStacks) {
  System system;
  std::size_t stack = 0;
  auto handle = system.spawn(0, WorkItem([&stack] {
                               pthread_attr_t attr;
                               pthread_getattr_np(pthread_self(), &attr);
                               pthread_attr_getstacksize(&attr, &stack);
                               pthread_attr_destroy(&attr);
                             }));
  ASSERT_TRUE(handle.ok());
  handle.value().join();
  EXPECT_EQ(stack, System::kStackSize);
}

TEST(System, AnExceptionEndsOnlyItsThreadAndShowsInTheJoin) {
  System system;
  auto handle = system.spawn(1, WorkItem([] { throw 42; }));
  ASSERT_TRUE(handle.ok());
  EXPECT_EQ(handle.value().join(), JoinHandle::Outcome::kAbnormal);
}

TEST(System, DroppingAHandleJoinsIt) {
  System system;
  std::atomic<bool> ran{false};
  {
    auto handle = system.spawn(2, WorkItem([&ran] { ran = true; }));
    ASSERT_TRUE(handle.ok());
  }
  EXPECT_TRUE(ran.load());
}

TEST(System, CountsOnlineCpus) {
  auto cpus = System().available_cpus();
  ASSERT_TRUE(cpus.ok());
  EXPECT_EQ(cpus.value(), static_cast<std::uint32_t>(sysconf(_SC_NPROCESSORS_ONLN)));
}

TEST(System, BuildsTheKernelSeededByIndex) {
  auto k = System().kernel(1);
  ASSERT_TRUE(k.ok());
  EXPECT_EQ(k.value().state(), 0x29754429088a5a7full);
}

TEST(PlatformError, DisplayTexts) {
  EXPECT_EQ(PlatformError::os(EAGAIN).display(), std::string(strerror(EAGAIN)) + " (os error 11)");
  EXPECT_EQ(PlatformError::unknown_cpu_count().display(),
            "the number of hardware threads is not known for the target platform");
  EXPECT_EQ(PlatformError::invalid_stack_size().display(), "invalid stack size");
}

}  // namespace
}  // namespace truvello
