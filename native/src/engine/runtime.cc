#include "runtime.h"

#include <memory>

#include "platform.h"

namespace truvello {

namespace {

// Runs a started thread's work item, which the thread owns from here on.
bool run_work(void* context) {
  std::unique_ptr<WorkItem> work(static_cast<WorkItem*>(context));
  try {
    work->run();
  } catch (...) {
    // An abnormal end stays in this thread: only the join tells of it.
    return false;
  }
  return true;
}

}  // namespace

std::string System::thread_name(std::uint64_t index) { return "truvello-" + std::to_string(index); }

ValueOrError<std::uint32_t, PlatformError> System::available_cpus() { return platform::cpu_count(); }

ValueOrError<JoinHandle, PlatformError> System::spawn(std::uint64_t index, WorkItem work) {
  using Result = ValueOrError<JoinHandle, PlatformError>;
  auto owned = std::make_unique<WorkItem>(std::move(work));
  auto started = platform::Thread::start(index, thread_name(index), kStackSize, &run_work, owned.get());
  // On failure the work item is destroyed unrun.
  if (!started.ok()) return Result::error(started.message());
  (void)owned.release();  // the thread owns it now
  return JoinHandle(std::move(started).value());
}

ValueOrError<Kernel> System::kernel(std::uint64_t index) { return Kernel::new_with_allocator(index); }

}  // namespace truvello
