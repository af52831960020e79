// A run whose heap runs out must never hang. This program replaces the global
// allocation functions with counting ones and, for every position n, makes
// exactly the n-th allocation inside one truvello_run fail, in a child process
// of its own. Each child must either come back from truvello_run (and then
// run again in the same process) or end at once with a message on stderr.
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "truvello.h"

// The thread sanitizer's runtime brings global allocation functions of its
// own, which cannot be replaced a second time; and it does not support fork()
// in a process that has run threads. There the test compiles to a skip.
#if defined(__SANITIZE_THREAD__)
#define TRUVELLO_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TRUVELLO_THREAD_SANITIZER 1
#endif
#endif
#ifndef TRUVELLO_THREAD_SANITIZER
#define TRUVELLO_THREAD_SANITIZER 0
#endif

namespace {

// Armed only around the run under test, so that set-up and checks in the
// child never fail. Relaxed is enough: a child arms and disarms on its own
// thread, and the workers it starts see the armed flag through the thread
// start itself.
std::atomic<bool> g_armed{false};
std::atomic<unsigned long> g_count{0};
unsigned long g_fail_at = 0;  // set before arming, read-only while armed

bool fail_this_one() {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  return g_count.fetch_add(1, std::memory_order_relaxed) + 1 == g_fail_at;
}

void* raw_allocate(std::size_t size, std::size_t alignment) {
  if (size == 0) size = 1;
  if (alignment <= alignof(std::max_align_t)) return std::malloc(size);
  void* p = nullptr;
  return posix_memalign(&p, alignment, size) == 0 ? p : nullptr;
}

[[maybe_unused]] void* allocate_or_throw(std::size_t size, std::size_t alignment) {
  if (fail_this_one()) throw std::bad_alloc();
  void* p = raw_allocate(size, alignment);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

[[maybe_unused]] void* allocate_or_null(std::size_t size, std::size_t alignment) noexcept {
  if (fail_this_one()) return nullptr;
  return raw_allocate(size, alignment);
}

}  // namespace

#if !TRUVELLO_THREAD_SANITIZER
// Every replaceable form, so that no allocation inside the run escapes the
// count; the deallocation forms all go back to free().
void* operator new(std::size_t size) { return allocate_or_throw(size, 0); }
void* operator new[](std::size_t size) { return allocate_or_throw(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return allocate_or_throw(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocate_or_throw(size, std::size_t(a)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate_or_null(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return allocate_or_null(size, 0); }
void* operator new(std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_or_null(size, std::size_t(a));
}
void* operator new[](std::size_t size, std::align_val_t a, const std::nothrow_t&) noexcept {
  return allocate_or_null(size, std::size_t(a));
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
#endif

namespace {

constexpr bool kThreadSanitizer = TRUVELLO_THREAD_SANITIZER;

// Bounds a hang only; a healthy child needs well under a second.
constexpr int kChildDeadlineSeconds = 20;
// Far beyond the allocations of any run; stops a runaway loop.
constexpr unsigned long kMaxPositions = 1000;
constexpr const char kTooShort[] = "measurement window was too short to complete any work";

truvello_config short_run(std::uint32_t benchmark) {
  truvello_config config{};
  truvello_default_config(&config);
  config.benchmark = benchmark;
  config.warmup_seconds = 0.0;
  config.measurement_seconds = 0.05;
  return config;
}

void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n <= 0 && errno != EINTR) return;
    if (n > 0) done += static_cast<std::size_t>(n);
  }
}

// The child: one run with the n-th allocation failing, then one plain run.
// Reports on fd 1 as "hit=<0|1> status=<s> reason=<r>|next=<s> reason=<r>".
[[noreturn]] void child(std::uint32_t benchmark, unsigned long n) {
  const truvello_config config = short_run(benchmark);
  truvello_handle* handle = truvello_create();
  g_fail_at = n;
  g_count.store(0, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_relaxed);
  const std::uint32_t status = truvello_run(handle, &config, nullptr, nullptr);
  g_armed.store(false, std::memory_order_relaxed);
  const bool hit = g_count.load(std::memory_order_relaxed) >= n;
  const char* reason = truvello_reason(handle);
  std::ostringstream out;
  out << "hit=" << hit << " status=" << status << " reason=" << (reason ? reason : "(null)") << "|";

  truvello_handle* next = truvello_create();
  const std::uint32_t next_status = truvello_run(next, &config, nullptr, nullptr);
  const char* next_reason = truvello_reason(next);
  out << "next=" << next_status << " reason=" << (next_reason ? next_reason : "(null)");
  truvello_free(next);
  truvello_free(handle);
  write_all(1, out.str());
  _exit(0);
}

struct ChildResult {
  enum class End { kExited, kSignalled, kHung } end = End::kExited;
  int code = 0;  // exit status or signal number
  std::string out;
  std::string err;
};

ChildResult run_child(std::uint32_t benchmark, unsigned long n) {
  truvello::testing::ChildProcess process([&] { child(benchmark, n); },
                                          truvello::testing::ChildProcess::Output::kPipes);
  truvello::testing::Finished done = process.finish(std::chrono::seconds(kChildDeadlineSeconds));
  ChildResult result;
  result.out = std::move(done.out);
  result.err = std::move(done.err);
  if (done.hung) {
    result.end = ChildResult::End::kHung;
  } else if (done.signal != 0) {
    result.end = ChildResult::End::kSignalled;
    result.code = done.signal;
  } else {
    result.code = done.status;
  }
  return result;
}

std::string list(const std::vector<unsigned long>& positions) {
  std::string text;
  for (const unsigned long p : positions) text += (text.empty() ? "#" : ", #") + std::to_string(p);
  return text.empty() ? "none" : text;
}

class AllocationFailure : public testing::TestWithParam<std::uint32_t> {};

TEST_P(AllocationFailure, EveryPositionReturnsOrEndsTheProcess) {
  if (kThreadSanitizer)
    GTEST_SKIP() << "ThreadSanitizer keeps its own allocation functions and does not support fork() here";
  const std::uint32_t benchmark = GetParam();
  std::vector<unsigned long> hung;
  std::vector<unsigned long> ended;
  std::vector<unsigned long> returned;
  std::map<std::string, int> reasons;
  unsigned long n = 1;
  for (;; ++n) {
    ASSERT_LE(n, kMaxPositions) << "the run never completed without reaching the failing allocation";
    SCOPED_TRACE("benchmark " + std::to_string(benchmark) + ", failing allocation #" + std::to_string(n));
    const ChildResult r = run_child(benchmark, n);
    if (r.end == ChildResult::End::kHung) {
      hung.push_back(n);
      continue;
    }
    if (r.end == ChildResult::End::kSignalled) {
      ended.push_back(n);
      EXPECT_EQ(r.code, SIGABRT) << r.err;
      EXPECT_NE(r.err.find("terminate"), std::string::npos) << "the process ends with a message, got: " << r.err;
      continue;
    }
    ASSERT_EQ(r.code, 0) << r.err;
    const std::size_t bar = r.out.find('|');
    ASSERT_NE(bar, std::string::npos) << r.out;
    const std::string first = r.out.substr(0, bar);
    const std::string next = r.out.substr(bar + 1);
    if (first.rfind("hit=0 ", 0) == 0) {
      EXPECT_TRUE(first == "hit=0 status=0 reason=" || first == std::string("hit=0 status=2 reason=") + kTooShort)
          << "an undisturbed run completes: " << first;
      break;
    }
    returned.push_back(n);
    ++reasons[first.substr(std::strlen("hit=1 "))];
    if (first.rfind("hit=1 status=2 reason=", 0) == 0) {
      EXPECT_GT(first.size(), std::strlen("hit=1 status=2 reason=")) << "a failed run gives a reason";
    } else {
      // A run that absorbed the failure must still have completed.
      EXPECT_EQ(first, "hit=1 status=0 reason=");
    }
    EXPECT_TRUE(next == "next=0 reason=" || next == std::string("next=2 reason=") + kTooShort)
        << "the following run in the same process runs: " << next;
  }
  std::printf("benchmark %u: %lu allocation positions; returned: %s; process ended: %s; hung: %s\n", benchmark, n - 1,
              list(returned).c_str(), list(ended).c_str(), list(hung).c_str());
  for (const auto& [outcome, count] : reasons) std::printf("  %dx %s\n", count, outcome.c_str());
  EXPECT_TRUE(hung.empty()) << "runs hung at positions " << list(hung);
  // One of the positions is a worker's table: the workload's own failure,
  // which reaches the host as the same reason whatever else changes.
  EXPECT_EQ(reasons.count("status=2 reason=worker initialization failed: Ok(Err(\"memory allocation failed because "
                          "the memory allocator returned an error\"))"),
            1u);
}

INSTANTIATE_TEST_SUITE_P(Benchmarks, AllocationFailure, testing::Values(1u, 2u),
                         [](const testing::TestParamInfo<std::uint32_t>& info) {
                           return "Benchmark" + std::to_string(info.param);
                         });

}  // namespace
