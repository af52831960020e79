#include "runtime.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

namespace truvello {

namespace {

// What a new thread owns from its start until it ends.
struct ThreadStart {
  std::string name;
  WorkItem work;
};

// Linux keeps 15 bytes of a thread name; longer names are cut, not refused.
constexpr std::size_t kThreadNameLimit = 15;

extern "C" void* thread_main(void* arg) {
  std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(arg));
  const std::string name = start->name.substr(0, kThreadNameLimit);
  pthread_setname_np(pthread_self(), name.c_str());
  try {
    start->work.run();
  } catch (...) {
    // An abnormal end stays in this thread: only the join tells of it.
    return JoinHandle::exit_value(JoinHandle::Outcome::kAbnormal);
  }
  return JoinHandle::exit_value(JoinHandle::Outcome::kNormal);
}

int create_thread(pthread_t* thread, std::size_t stack_size, ThreadStart* start) {
  pthread_attr_t attr;
  int rc = pthread_attr_init(&attr);
  if (rc != 0) return rc;
  rc = pthread_attr_setstacksize(&attr, stack_size);
  if (rc == 0) rc = pthread_create(thread, &attr, &thread_main, start);
  pthread_attr_destroy(&attr);
  return rc;
}

std::size_t round_up_to_page(std::size_t size) {
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) return size;
  const auto p = static_cast<std::size_t>(page);
  return (size + p - 1) / p * p;
}

}  // namespace

std::string System::thread_name(std::uint64_t index) { return "truvello-" + std::to_string(index); }

ValueOrError<std::uint32_t, PlatformError> System::available_cpus() {
  using Result = ValueOrError<std::uint32_t, PlatformError>;
  errno = 0;
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
  if (count == -1) return Result::error(PlatformError::os(errno));
  if (count == 0) return Result::error(PlatformError::unknown_cpu_count());
  return static_cast<std::uint32_t>(std::min<long>(count, UINT32_MAX));
}

ValueOrError<JoinHandle, PlatformError> System::spawn(std::uint64_t index, WorkItem work) {
  using Result = ValueOrError<JoinHandle, PlatformError>;
  auto start = std::make_unique<ThreadStart>(ThreadStart{thread_name(index), std::move(work)});
  std::size_t stack = std::max<std::size_t>(kStackSize, PTHREAD_STACK_MIN);
  pthread_t thread{};
  int rc = create_thread(&thread, stack, start.get());
  if (rc == EINVAL) {
    stack = round_up_to_page(stack);
    rc = create_thread(&thread, stack, start.get());
    if (rc == EINVAL) return Result::error(PlatformError::invalid_stack_size());
  }
  // On failure `start`, and the work in it, is destroyed unrun.
  if (rc != 0) return Result::error(PlatformError::os(rc));
  (void)start.release();  // the thread owns it now
  return JoinHandle(thread);
}

ValueOrError<Kernel> System::kernel(std::uint64_t index) { return from_workload(Kernel::new_with_allocator(index)); }

}  // namespace truvello
