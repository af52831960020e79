// The platform layer on Windows (built with mingw-w64): Win32 threads,
// processor groups and the unbiased interrupt time.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <climits>

#include "platform.h"

namespace truvello::platform {

struct Thread::State {
  ThreadBody body = nullptr;
  void* context = nullptr;
  HANDLE handle = nullptr;
  bool normal = true;  // written by the thread, read after the join
};

namespace {

// Functions newer than the oldest Windows this runs on, and missing from some
// import libraries and from older Wine: looked up at run time, so that their
// absence costs only what they add.
template <typename Function>
Function find_function(const char* name) {
  for (const wchar_t* module : {L"kernel32.dll", L"kernelbase.dll"}) {
    HMODULE loaded = GetModuleHandleW(module);
    if (loaded == nullptr) continue;
    if (FARPROC found = GetProcAddress(loaded, name)) {
      // Through a generic function pointer type, the documented way to cast.
      return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
    }
  }
  return nullptr;
}

using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
using UnbiasedTimeFunction = void(WINAPI*)(PULONGLONG);

DWORD WINAPI thread_main(LPVOID arg) {
  auto* state = static_cast<Thread::State*>(arg);
  state->normal = state->body(state->context);
  return 0;
}

// Thread names are a debugging aid (Windows 10 1607 and later); an older
// system keeps its threads unnamed and runs the same.
void name_thread(HANDLE thread, const std::string& name) {
  static const auto set_description = find_function<SetThreadDescriptionFunction>("SetThreadDescription");
  if (set_description == nullptr) return;
  const std::wstring wide(name.begin(), name.end());  // the names are ASCII
  set_description(thread, wide.c_str());
}

// Windows starts every thread in one processor group, the process's, so on a
// machine of more than 64 CPUs a worker per CPU would leave the other groups
// idle. Worker `index` goes to group k when it falls within group k's share
// of the CPUs counted group by group; with a single group nothing is changed.
void place_in_group(HANDLE thread, std::uint64_t index) {
  const WORD groups = GetActiveProcessorGroupCount();
  if (groups <= 1) return;
  const DWORD total = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (total == 0) return;
  std::uint64_t position = index % total;
  for (WORD group = 0; group < groups; ++group) {
    const DWORD in_group = GetActiveProcessorCount(group);
    if (position >= in_group) {
      position -= in_group;
      continue;
    }
    GROUP_AFFINITY affinity{};
    affinity.Group = group;
    // The active processors of a group are numbered from 0 up.
    affinity.Mask = in_group >= 64 ? ~KAFFINITY{0} : (KAFFINITY{1} << in_group) - 1;
    SetThreadGroupAffinity(thread, &affinity, nullptr);  // the default group still works
    return;
  }
}

std::string trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

}  // namespace

ValueOrError<std::uint32_t, PlatformError> cpu_count() {
  using Result = ValueOrError<std::uint32_t, PlatformError>;
  const DWORD count = GetActiveProcessorCount(ALL_PROCESSOR_GROUPS);
  if (count == 0) {
    const DWORD error = GetLastError();
    if (error == 0) return Result::error(PlatformError::unknown_cpu_count());
    return Result::error(PlatformError::os(static_cast<int>(error)));
  }
  return static_cast<std::uint32_t>(count);
}

// The unbiased interrupt time leaves out the time the machine spent asleep or
// hibernating, as CLOCK_MONOTONIC does on Linux; QueryPerformanceCounter would
// be finer but counts the sleep. The plain function only moves with the timer
// interrupt (about 15.6 ms); the precise one, Windows 10 and later, reads the
// hardware counter and is used whenever it exists. Both count 100 ns units.
ClockReading monotonic_now() {
  static const auto precise = find_function<UnbiasedTimeFunction>("QueryUnbiasedInterruptTimePrecise");
  ULONGLONG units = 0;
  if (precise != nullptr) {
    precise(&units);
  } else {
    QueryUnbiasedInterruptTime(&units);  // cannot fail with a valid pointer
  }
  constexpr ULONGLONG kUnitsPerSecond = 10'000'000;
  return ClockReading{static_cast<std::int64_t>(units / kUnitsPerSecond),
                      static_cast<std::uint32_t>(units % kUnitsPerSecond * 100)};
}

void sleep_for(std::uint64_t secs, std::uint32_t nanos) {
  // Whole milliseconds, rounded up so that a sleep never ends early.
  const std::uint64_t limit = INFINITE - 1;
  const std::uint64_t millis =
      secs >= limit / 1000 ? limit : std::min<std::uint64_t>(secs * 1000 + (nanos + 999'999) / 1'000'000, limit);
  Sleep(static_cast<DWORD>(millis));
}

std::string os_error_text(int code) {
  char buffer[512] = {};
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, static_cast<DWORD>(code),
                     MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), buffer, sizeof buffer, nullptr);
  std::string text = length == 0 ? std::string("Unknown error") : trimmed(std::string(buffer, length));
  return text + " (os error " + std::to_string(code) + ")";
}

ValueOrError<Thread, PlatformError> Thread::start(std::uint64_t index, const std::string& name, std::size_t stack_size,
                                                  ThreadBody body, void* context) {
  using Result = ValueOrError<Thread, PlatformError>;
  auto state = std::make_unique<State>();
  state->body = body;
  state->context = context;
  // Reserved, as the main thread's stack is; Windows rounds it to its
  // allocation granularity itself. Suspended until named and placed.
  state->handle = CreateThread(nullptr, stack_size, &thread_main, state.get(),
                               CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  if (state->handle == nullptr) return Result::error(PlatformError::os(static_cast<int>(GetLastError())));
  name_thread(state->handle, name);
  place_in_group(state->handle, index);
  if (ResumeThread(state->handle) == static_cast<DWORD>(-1)) {
    // Never ran: ended here so that the context stays the caller's.
    const DWORD error = GetLastError();
    TerminateThread(state->handle, 1);
    CloseHandle(state->handle);
    return Result::error(PlatformError::os(static_cast<int>(error)));
  }
  return Thread(std::move(state));
}

bool Thread::join() {
  if (!state_ || state_->handle == nullptr) return true;
  WaitForSingleObject(state_->handle, INFINITE);
  CloseHandle(state_->handle);
  state_->handle = nullptr;
  return state_->normal;
}

Thread::Thread(std::unique_ptr<State> state) : state_(std::move(state)) {}
Thread::Thread(Thread&&) noexcept = default;
Thread::~Thread() { join(); }

}  // namespace truvello::platform
