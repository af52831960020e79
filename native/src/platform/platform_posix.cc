// The platform layer on POSIX systems (Linux): pthreads, sysconf and
// clock_gettime.
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "platform.h"

namespace truvello::platform {

struct Thread::State {
  ThreadBody body = nullptr;
  void* context = nullptr;
  std::string name;
  pthread_t thread{};
  bool joinable = false;
  bool normal = true;  // written by the thread, read after the join
};

namespace {

// Linux keeps 15 bytes of a thread name; longer names are cut, not refused.
constexpr std::size_t kThreadNameLimit = 15;

extern "C" void* thread_main(void* arg) {
  auto* state = static_cast<Thread::State*>(arg);
  pthread_setname_np(pthread_self(), state->name.c_str());
  state->normal = state->body(state->context);
  return nullptr;
}

int create_thread(Thread::State& state, std::size_t stack_size) {
  pthread_attr_t attr;
  int rc = pthread_attr_init(&attr);
  if (rc != 0) return rc;
  rc = pthread_attr_setstacksize(&attr, stack_size);
  if (rc == 0) rc = pthread_create(&state.thread, &attr, &thread_main, &state);
  pthread_attr_destroy(&attr);
  return rc;
}

std::size_t round_up_to_page(std::size_t size) {
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return size;
  const auto p = static_cast<std::size_t>(page);
  return (size + p - 1) / p * p;
}

// strerror_r comes in two flavours; overloads pick whichever this libc has.
[[maybe_unused]] const char* description(int result, const char* buffer) {
  return result == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char* description(const char* result, const char*) { return result; }

}  // namespace

ValueOrError<std::uint32_t, PlatformError> cpu_count() {
  using Result = ValueOrError<std::uint32_t, PlatformError>;
  errno = 0;
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (count == -1) return Result::error(PlatformError::os(errno));
  if (count == 0) return Result::error(PlatformError::unknown_cpu_count());
  // Clamped in 64 bits: where long has 32 (ILP32, LLP64), UINT32_MAX as a
  // long is -1, and the clamp would turn every count into 4294967295.
  return static_cast<std::uint32_t>(std::min<long long>(count, UINT32_MAX));
}

// CLOCK_MONOTONIC: on Linux it does not advance while the machine is
// suspended (CLOCK_BOOTTIME would).
ClockReading monotonic_now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);  // cannot fail for this clock id
  return ClockReading{static_cast<std::int64_t>(ts.tv_sec), static_cast<std::uint32_t>(ts.tv_nsec)};
}

void sleep_for(std::uint64_t secs, std::uint32_t nanos) {
  timespec ts{static_cast<time_t>(secs), static_cast<long>(nanos)};
  nanosleep(&ts, nullptr);
}

std::string os_error_text(int code) {
  char buffer[256] = {};
  std::string text = description(strerror_r(code, buffer, sizeof buffer), buffer);
  return text + " (os error " + std::to_string(code) + ")";
}

ValueOrError<Thread, PlatformError> Thread::start(std::uint64_t, const std::string& name, std::size_t stack_size,
                                                  ThreadBody body, void* context) {
  using Result = ValueOrError<Thread, PlatformError>;
  auto state = std::make_unique<State>();
  state->body = body;
  state->context = context;
  state->name = name.substr(0, kThreadNameLimit);
  std::size_t stack = std::max<std::size_t>(stack_size, PTHREAD_STACK_MIN);
  int rc = create_thread(*state, stack);
  if (rc == EINVAL) {
    stack = round_up_to_page(stack);
    rc = create_thread(*state, stack);
    if (rc == EINVAL) return Result::error(PlatformError::invalid_stack_size());
  }
  if (rc != 0) return Result::error(PlatformError::os(rc));
  state->joinable = true;
  return Thread(std::move(state));
}

bool Thread::join() {
  if (!state_ || !state_->joinable) return true;
  state_->joinable = false;
  pthread_join(state_->thread, nullptr);
  return state_->normal;
}

Thread::Thread(std::unique_ptr<State> state) : state_(std::move(state)) {}
Thread::Thread(Thread&&) noexcept = default;
Thread::~Thread() { join(); }

}  // namespace truvello::platform
