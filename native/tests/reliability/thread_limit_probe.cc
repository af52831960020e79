// A host in which thread creation really fails. Started by the reliability
// tests as a child process, since what it does to itself cannot be undone:
// as root it becomes an unprivileged user of its own, whose only tasks are
// this process's threads, and then lowers RLIMIT_NPROC, which the kernel
// enforces for such a user (root and capable processes are exempt).
//
// It reports what it saw as key=value lines on stdout and leaves the verdict
// to the test. Exit status: 0 when the scenarios ran, 77 when thread creation
// cannot be made to fail here (the "skip" line says why), 1 on a setup error.
#include <errno.h>
#include <grp.h>
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "process_threads.h"
#include "progress_log.h"
#include "stored_outcome.h"
#include "truvello.h"

namespace truvello::reliability {
namespace {

using testing::baseline_thread_count;
using testing::read_stored_outcome;
using testing::run_config;
using testing::settled_thread_count;
using testing::StoredOutcome;

constexpr int kSkip = 77;

void fact(const std::string& key, const std::string& value) {
  std::printf("%s=%s\n", key.c_str(), value.c_str());
  std::fflush(stdout);
}

void fact(const std::string& key, std::uint64_t value) { fact(key, std::to_string(value)); }

// A uid no other task on the machine uses, so that the per-user task count
// the limit is checked against is exactly this process's thread count.
bool become_unprivileged(std::string& why) {
  if (geteuid() != 0) return true;  // already subject to the limit
  const auto id = static_cast<uid_t>(2'000'000'000u + static_cast<unsigned>(getpid()) % 1'000'000u);
  if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) {
    why = std::string("cannot switch to an unprivileged uid: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool set_soft_limit(rlim_t soft) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NPROC, &limit) != 0) return false;
  limit.rlim_cur = soft;
  return setrlimit(RLIMIT_NPROC, &limit) == 0;
}

bool restore_soft_limit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NPROC, &limit) != 0) return false;
  limit.rlim_cur = limit.rlim_max;
  return setrlimit(RLIMIT_NPROC, &limit) == 0;
}

extern "C" void* wait_on_pipe(void* fd) {
  char byte = 0;
  [[maybe_unused]] const auto got = read(*static_cast<int*>(fd), &byte, 1);
  return nullptr;
}

// Starts one thread and, while it lives, tries a second. Returns the error
// numbers of both attempts.
std::pair<int, int> two_thread_attempt() {
  int fds[2];
  if (pipe(fds) != 0) return {errno, errno};
  pthread_t first{};
  pthread_t second{};
  const int first_rc = pthread_create(&first, nullptr, &wait_on_pipe, &fds[0]);
  const int second_rc = pthread_create(&second, nullptr, &wait_on_pipe, &fds[0]);
  const char bytes[2] = {1, 1};
  [[maybe_unused]] const auto put = write(fds[1], bytes, sizeof bytes);
  if (first_rc == 0) pthread_join(first, nullptr);
  if (second_rc == 0) pthread_join(second, nullptr);
  close(fds[0]);
  close(fds[1]);
  return {first_rc, second_rc};
}

// One run on a fresh handle, everything it stored reported under `name`.
void run_and_report(const std::string& name, const truvello_config& config, bool cancel_first, std::uint64_t baseline) {
  truvello_handle* handle = truvello_create();
  if (cancel_first) truvello_cancel(handle);
  ProgressLog log;
  const std::uint32_t status = truvello_run(handle, &config, &log_progress, &log);
  StoredOutcome out;
  const std::string problem = read_stored_outcome(handle, status, out);
  truvello_free(handle);
  fact(name + ".status", status);
  fact(name + ".reason", out.reason_text);
  fact(name + ".workers", out.result.workers);
  fact(name + ".samples", out.result.sample_count);
  fact(name + ".total_ops", out.result.total_ops);
  fact(name + ".progress_calls", log.calls);
  fact(name + ".outcome_problem", problem.empty() ? "none" : problem);
  fact(name + ".threads_after", settled_thread_count(baseline).value_or(0));
}

int probe() {
  std::string why;
  if (!become_unprivileged(why)) {
    fact("skip", why);
    return kSkip;
  }
  const long cpus = sysconf(_SC_NPROCESSORS_ONLN);
  fact("cpus", static_cast<std::uint64_t>(cpus > 0 ? cpus : 0));
  const std::uint64_t baseline = baseline_thread_count().value_or(0);
  fact("baseline_threads", baseline);
  if (baseline == 0) {
    fact("error", "cannot read /proc/self/status");
    return 1;
  }

  // The limit must bite before anything depends on it.
  if (!set_soft_limit(0)) {
    fact("error", std::string("setrlimit: ") + std::strerror(errno));
    return 1;
  }
  const auto [first_rc, unused] = two_thread_attempt();
  (void)unused;
  if (first_rc == 0) {
    restore_soft_limit();
    fact("skip", "RLIMIT_NPROC is not enforced for this process (root or CAP_SYS_RESOURCE/CAP_SYS_ADMIN)");
    return kSkip;
  }

  const truvello_config all_cpus = run_config(TRUVELLO_BENCHMARK_ALL_CPUS, 0.0, 0.5);

  // No thread at all may start: the first worker fails.
  run_and_report("none_allowed", all_cpus, false, baseline);

  // Room for exactly one more thread: the first worker starts, the second
  // fails, and the first must be stopped and joined.
  settled_thread_count(baseline);
  if (cpus < 2) {
    fact("one_allowed", "unavailable: a single CPU means a single worker");
  } else if (!set_soft_limit(static_cast<rlim_t>(baseline + 1))) {
    fact("one_allowed", std::string("unavailable: setrlimit: ") + std::strerror(errno));
  } else if (const auto [one, two] = two_thread_attempt(); one != 0 || two == 0) {
    fact("one_allowed", "unavailable: the task count of this uid is not this process's thread count");
  } else {
    settled_thread_count(baseline);
    fact("one_allowed", "available");
    run_and_report("one_allowed", all_cpus, false, baseline);
  }

  // Limit lifted: the process is free to run again.
  if (!restore_soft_limit()) {
    fact("error", std::string("cannot lift RLIMIT_NPROC: ") + std::strerror(errno));
    return 1;
  }
  run_and_report("lifted_cancelled", all_cpus, true, baseline);
  run_and_report("lifted", all_cpus, false, baseline);
  return 0;
}

}  // namespace
}  // namespace truvello::reliability

int main() { return truvello::reliability::probe(); }
