/* The C interface walked end to end from plain C99, through the public header
 * and the shared library alone, in named phases. Each phase prints its name;
 * the first failed check names its phase and line and ends the program. */
#ifdef _WIN32
#include <windows.h>
/* After windows.h, which it needs. */
#include <tlhelp32.h>
#else
#define _GNU_SOURCE
#include <dirent.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>
#endif
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "truvello.h"

static const char* phase = "start";
static int checks = 0;

#define CHECK(cond)                                                                 \
  do {                                                                              \
    ++checks;                                                                       \
    if (!(cond)) {                                                                  \
      fprintf(stderr, "FAILED in phase %s, line %d: %s\n", phase, __LINE__, #cond); \
      exit(1);                                                                      \
    }                                                                               \
  } while (0)

static void begin(const char* name) {
  phase = name;
  printf("phase: %s\n", name);
  fflush(stdout);
}

static truvello_config config_of(uint32_t benchmark, double warmup, double measurement) {
  truvello_config c;
  CHECK(truvello_default_config(&c) == 1);
  c.benchmark = benchmark;
  c.warmup_seconds = warmup;
  c.measurement_seconds = measurement;
  return c;
}

static int same_bits(double a, double b) { return memcmp(&a, &b, sizeof a) == 0; }

/* --- what this program needs from the OS, on POSIX and on Windows ----------
 * A thread that runs a function and can be joined; a one-shot event between
 * threads; the CPU count; a clock for deadlines; and the names of this
 * process's threads. The phases below order their threads by events, never
 * by sleeping: on a busy machine a thread can wait far longer than any
 * sleep. An event's deadline only bounds a hang. */

/* Marks seen[i] for a thread named "truvello-i" with i below 256; returns 1
 * when the name is a worker's. */
static int note_worker_name(const char* name, int* seen) {
  unsigned idx;
  char end;
  if (strncmp(name, "truvello-", 9) != 0) return 0;
  if (seen != NULL && sscanf(name, "truvello-%u%c", &idx, &end) == 2 && end == '\n' && idx < 256) seen[idx] = 1;
  return 1;
}

#ifdef _WIN32
struct thread {
  HANDLE handle;
  void* (*body)(void*);
  void* arg;
};

static DWORD WINAPI thread_trampoline(LPVOID p) {
  struct thread* t = (struct thread*)p;
  t->body(t->arg);
  return 0;
}

static int thread_start(struct thread* t, void* (*body)(void*), void* arg) {
  t->body = body;
  t->arg = arg;
  t->handle = CreateThread(NULL, 0, thread_trampoline, t, 0, NULL);
  return t->handle != NULL;
}

static void thread_join(struct thread* t) {
  WaitForSingleObject(t->handle, INFINITE);
  CloseHandle(t->handle);
}

struct latch {
  CRITICAL_SECTION lock;
  CONDITION_VARIABLE cond;
  int set;
};

static void latch_init(struct latch* l) {
  InitializeCriticalSection(&l->lock);
  InitializeConditionVariable(&l->cond);
  l->set = 0;
}

static void latch_destroy(struct latch* l) { DeleteCriticalSection(&l->lock); }

static void latch_set(struct latch* l) {
  EnterCriticalSection(&l->lock);
  l->set = 1;
  LeaveCriticalSection(&l->lock);
  WakeAllConditionVariable(&l->cond);
}

/* 1 once the latch is set, 0 if twenty seconds pass first. */
static int latch_wait(struct latch* l) {
  const ULONGLONG until = GetTickCount64() + 20000;
  int set;
  EnterCriticalSection(&l->lock);
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    if (l->set || now >= until) break;
    SleepConditionVariableCS(&l->cond, &l->lock, (DWORD)(until - now));
  }
  set = l->set;
  LeaveCriticalSection(&l->lock);
  return set;
}

static long online_cpus(void) { return (long)GetActiveProcessorCount(ALL_PROCESSOR_GROUPS); }

static double monotonic_seconds(void) { return (double)GetTickCount64() / 1e3; }

static void nap(void) { Sleep(5); }

typedef HRESULT(WINAPI* get_description_function)(HANDLE, PWSTR*);

/* Thread names are thread descriptions on Windows. */
static int scan_worker_threads(int* seen) {
  const DWORD self = GetCurrentProcessId();
  get_description_function get_description = (get_description_function)(void (*)(void))GetProcAddress(
      GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription");
  HANDLE snapshot;
  THREADENTRY32 entry;
  int n = 0;
  if (get_description == NULL) return -1;
  snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    HANDLE thread;
    PWSTR wide = NULL;
    char name[64] = {0};
    size_t i;
    if (entry.th32OwnerProcessID != self) continue;
    thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID);
    if (thread == NULL) continue;
    if (SUCCEEDED(get_description(thread, &wide)) && wide != NULL) {
      for (i = 0; wide[i] != 0 && i + 2 < sizeof name; ++i) name[i] = (char)wide[i];
      name[i] = '\n'; /* as Linux ends a thread's comm */
      n += note_worker_name(name, seen);
      LocalFree(wide);
    }
    CloseHandle(thread);
  }
  CloseHandle(snapshot);
  return n;
}
#else
struct thread {
  pthread_t handle;
};

static int thread_start(struct thread* t, void* (*body)(void*), void* arg) {
  return pthread_create(&t->handle, NULL, body, arg) == 0;
}

static void thread_join(struct thread* t) { pthread_join(t->handle, NULL); }

struct latch {
  pthread_mutex_t mutex;
  pthread_cond_t cond;
  int set;
};

static void latch_init(struct latch* l) {
  pthread_mutex_init(&l->mutex, NULL);
  pthread_cond_init(&l->cond, NULL);
  l->set = 0;
}

static void latch_destroy(struct latch* l) {
  pthread_cond_destroy(&l->cond);
  pthread_mutex_destroy(&l->mutex);
}

static void latch_set(struct latch* l) {
  pthread_mutex_lock(&l->mutex);
  l->set = 1;
  pthread_cond_broadcast(&l->cond);
  pthread_mutex_unlock(&l->mutex);
}

/* 1 once the latch is set, 0 if twenty seconds pass first. */
static int latch_wait(struct latch* l) {
  struct timespec until;
  int set;
  clock_gettime(CLOCK_REALTIME, &until);
  until.tv_sec += 20;
  pthread_mutex_lock(&l->mutex);
  while (!l->set && pthread_cond_timedwait(&l->cond, &l->mutex, &until) == 0) {
  }
  set = l->set;
  pthread_mutex_unlock(&l->mutex);
  return set;
}

static long online_cpus(void) { return sysconf(_SC_NPROCESSORS_ONLN); }

static double monotonic_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

static void nap(void) {
  struct timespec t = {0, 5000000L};
  nanosleep(&t, NULL);
}

/* Counts the threads of this process named as workers. Sanitizer runtimes
 * start helper threads of their own, so all threads together would not
 * tell. */
static int scan_worker_threads(int* seen) {
  int n = 0;
  DIR* dir = opendir("/proc/self/task");
  struct dirent* e;
  if (dir == NULL) return -1;
  while ((e = readdir(dir)) != NULL) {
    char path[300], name[64] = {0};
    FILE* f;
    if (e->d_name[0] == '.') continue;
    snprintf(path, sizeof path, "/proc/self/task/%s/comm", e->d_name);
    f = fopen(path, "r");
    if (f == NULL) continue;
    if (fgets(name, sizeof name, f) != NULL) n += note_worker_name(name, seen);
    fclose(f);
  }
  closedir(dir);
  return n;
}
#endif

/* The worker-thread count once it has fallen to `expected`, or the last count
 * seen after five seconds. The OS may still list a thread for a moment after
 * it has been joined, so a single look right after a run can see a worker
 * that is already gone; the deadline only bounds a real leak. */
static int settled_worker_threads(int expected) {
  const double give_up = monotonic_seconds() + 5.0;
  for (;;) {
    int n = scan_worker_threads(NULL);
    if (n == expected || monotonic_seconds() >= give_up) return n;
    nap();
  }
}

/* --- rejections --------------------------------------------------------- */

struct rejection_case {
  const char* name;
  truvello_config config;
  int null_config;
  const char* reason;
  uint32_t benchmark;
  double warmup;
  double measurement;
};

static int callback_calls = 0;
static void count_calls(const truvello_progress_record* r, void* user_data) {
  (void)r;
  (void)user_data;
  ++callback_calls;
}

static void expect_rejection(const struct rejection_case* rc) {
  truvello_handle* h = truvello_create();
  truvello_result_record r;
  truvello_sample_record s;
  callback_calls = 0;
  CHECK(truvello_run(h, rc->null_config ? NULL : &rc->config, count_calls, NULL) == TRUVELLO_STATUS_FAILED);
  CHECK(callback_calls == 0);
  CHECK(truvello_result(h, &r) == 1);
  if (strcmp(truvello_reason(h), rc->reason) != 0) {
    fprintf(stderr, "case %s: reason \"%s\"\n", rc->name, truvello_reason(h));
  }
  CHECK(strcmp(truvello_reason(h), rc->reason) == 0);
  CHECK(r.abi_version == 1);
  CHECK(r.status == TRUVELLO_STATUS_FAILED);
  CHECK(r.benchmark == rc->benchmark);
  CHECK(same_bits(r.warmup_seconds, rc->warmup));
  CHECK(same_bits(r.measurement_seconds, rc->measurement));
  CHECK(r.workers == 0 && r.total_ops == 0 && r.checksum == 0 && r.sample_count == 0);
  CHECK(r.mean_rate == 0.0 && r.measured_seconds == 0.0 && r.cv_valid == 0 && r.unstable == 0);
  CHECK(truvello_sample(h, 0, &s) == 0);
  /* A rejected handle has run: it never runs again. */
  CHECK(truvello_run(h, &rc->config, NULL, NULL) == TRUVELLO_STATUS_FAILED);
  CHECK(strcmp(truvello_reason(h), rc->reason) == 0);
  truvello_free(h);
}

static void phase_rejections(void) {
  const char* durations = "durations must be finite: warmup >= 0, measurement > 0";
  truvello_config base = config_of(1, 1.5, 2.5);
  struct rejection_case cases[16];
  size_t n = 0, i;
  begin("rejections");

  cases[n] = (struct rejection_case){"null", base, 1, "config is null", 1, 120.0, 60.0};
  ++n;
  cases[n] = (struct rejection_case){"size 24", base, 0, "incompatible C ABI/config size", 1, 120.0, 60.0};
  cases[n].config.struct_size = 24;
  ++n;
  cases[n] = (struct rejection_case){"abi 2", base, 0, "incompatible C ABI/config size", 1, 120.0, 60.0};
  cases[n].config.abi_version = 2;
  ++n;
  cases[n] = (struct rejection_case){"benchmark 0", base, 0, "unknown benchmark", 1, 1.5, 2.5};
  cases[n].config.benchmark = 0;
  ++n;
  cases[n] = (struct rejection_case){"benchmark max", base, 0, "unknown benchmark", 1, 1.5, 2.5};
  cases[n].config.benchmark = 4294967295u;
  ++n;
  cases[n] = (struct rejection_case){"benchmark before reserved", base, 0, "unknown benchmark", 1, 1.5, 2.5};
  cases[n].config.benchmark = 7;
  cases[n].config.reserved = 5;
  ++n;
  cases[n] =
      (struct rejection_case){"reserved before durations", base, 0, "reserved config field must be zero", 2, NAN, 2.5};
  cases[n].config.benchmark = 2;
  cases[n].config.reserved = 5;
  cases[n].config.warmup_seconds = NAN;
  ++n;
  cases[n] = (struct rejection_case){"NaN warm-up reported back", base, 0, durations, 1, NAN, 2.5};
  cases[n].config.warmup_seconds = NAN;
  ++n;
  cases[n] = (struct rejection_case){"negative warm-up", base, 0, durations, 1, -1e-300, 2.5};
  cases[n].config.warmup_seconds = -1e-300;
  ++n;
  cases[n] = (struct rejection_case){"zero measurement", base, 0, durations, 1, 1.5, 0.0};
  cases[n].config.measurement_seconds = 0.0;
  ++n;
  cases[n] = (struct rejection_case){"negative zero measurement", base, 0, durations, 1, 1.5, -0.0};
  cases[n].config.measurement_seconds = -0.0;
  ++n;
  cases[n] = (struct rejection_case){"infinite measurement", base, 0, durations, 1, 1.5, INFINITY};
  cases[n].config.measurement_seconds = INFINITY;
  ++n;
  cases[n] = (struct rejection_case){"2^64 measurement", base, 0, durations, 1, 1.5, 18446744073709551616.0};
  cases[n].config.measurement_seconds = 18446744073709551616.0;
  ++n;
  /* A number above zero, but too short for the clock: a reason of its own. */
  cases[n] = (struct rejection_case){"rounds to zero", base, 0, "measurement duration must be positive", 1, 1.5, 1e-10};
  cases[n].config.measurement_seconds = 1e-10;
  ++n;
  /* Past validation, refused by the run driver. */
  cases[n] = (struct rejection_case){
      "beyond the clock",    base, 0, "requested duration exceeds the monotonic clock range", 1, 1.5,
      18446744073709549568.0};
  cases[n].config.measurement_seconds = 18446744073709549568.0;
  ++n;
  for (i = 0; i < n; ++i) {
    if (i == n - 1) continue; /* starts a worker: checked apart below */
    expect_rejection(&cases[i]);
  }
  {
    /* The driver's own refusal comes after workers are set up. */
    truvello_handle* h = truvello_create();
    truvello_result_record r;
    CHECK(truvello_run(h, &cases[n - 1].config, count_calls, NULL) == TRUVELLO_STATUS_FAILED);
    CHECK(strcmp(truvello_reason(h), cases[n - 1].reason) == 0);
    CHECK(truvello_result(h, &r) == 1 && r.workers == 1 && r.sample_count == 0);
    CHECK(same_bits(r.measurement_seconds, 18446744073709549568.0));
    truvello_free(h);
  }
  {
    /* -0.0 is a zero warm-up, accepted. */
    truvello_handle* h = truvello_create();
    truvello_config c = config_of(1, -0.0, 0.05);
    truvello_result_record r;
    CHECK(truvello_run(h, &c, NULL, NULL) == TRUVELLO_STATUS_COMPLETED);
    CHECK(truvello_result(h, &r) == 1 && same_bits(r.warmup_seconds, -0.0));
    truvello_free(h);
  }
}

/* --- a completed run ------------------------------------------------------ */

struct progress_log {
  truvello_handle* handle;
  int events;
  int finals;
  uint32_t last_phase;
  int readers_saw_empty;
  int bad;
  int names_seen;
  uint32_t workers;
};

/* Whether threads "truvello-0" to "truvello-<workers - 1>" all exist now. */
static int all_workers_named(uint32_t workers) {
  int seen[256] = {0};
  uint32_t i, found = 0;
  scan_worker_threads(seen);
  for (i = 0; i < workers && i < 256; ++i) found += (uint32_t)seen[i];
  return found == workers;
}

static void record_progress(const truvello_progress_record* p, void* user_data) {
  struct progress_log* log = (struct progress_log*)user_data;
  truvello_result_record r;
  truvello_sample_record s;
  ++log->events;
  if (p->phase >= TRUVELLO_PHASE_DONE) ++log->finals;
  if (p->phase < log->last_phase) log->bad = 1;
  if (p->phase <= TRUVELLO_PHASE_MEASUREMENT) {
    if (p->fraction > 1.0 || p->phase_elapsed_seconds > p->phase_seconds) log->bad = 1;
    if (!log->names_seen) log->names_seen = all_workers_named(p->workers);
  }
  log->last_phase = p->phase;
  log->workers = p->workers;
  memset(&r, 0xAB, sizeof r);
  if (truvello_result(log->handle, &r) == 0 && truvello_sample(log->handle, 0, &s) == 0 &&
      truvello_reason(log->handle) == NULL) {
    unsigned char probe[sizeof r];
    memset(probe, 0xAB, sizeof probe);
    if (memcmp(&r, probe, sizeof r) == 0) ++log->readers_saw_empty;
  }
}

static void expect_tiled_samples(truvello_handle* h, const truvello_result_record* r) {
  truvello_sample_record s;
  uint64_t i, ops = 0;
  double t = 0.0;
  CHECK(r->sample_count >= 1);
  for (i = 0; i < r->sample_count; ++i) {
    CHECK(truvello_sample(h, i, &s) == 1);
    CHECK(s.dt > 0.0);
    CHECK(fabs((s.t - s.dt) - t) < 1e-9);
    CHECK(s.rate == (double)s.ops / s.dt);
    t = s.t;
    ops += s.ops;
  }
  CHECK(t == r->measured_seconds);
  CHECK(ops == r->total_ops);
  CHECK(truvello_sample(h, r->sample_count, &s) == 0);
  CHECK(truvello_sample(h, UINT64_MAX, &s) == 0);
  CHECK(truvello_sample(h, 0, NULL) == 0);
}

static void phase_completed_run(void) {
  truvello_handle* h = truvello_create();
  truvello_config c = config_of(TRUVELLO_BENCHMARK_SINGLE, 0.2, 1.3);
  truvello_result_record r;
  struct progress_log log;
  const char* reason;
  begin("completed run");
  memset(&log, 0, sizeof log);
  log.handle = h;
  CHECK(truvello_run(h, &c, record_progress, &log) == TRUVELLO_STATUS_COMPLETED);
  CHECK(settled_worker_threads(0) == 0);
  CHECK(truvello_result(h, &r) == 1);
  CHECK(truvello_result(h, NULL) == 0);
  CHECK(r.status == 0 && r.benchmark == 1 && r.workers == 1);
  CHECK(same_bits(r.warmup_seconds, 0.2) && same_bits(r.measurement_seconds, 1.3));
  CHECK(r.measured_seconds >= 1.3);
  CHECK(r.total_ops > 0 && r.total_ops % 8 == 0);
  CHECK(r.mean_rate == (double)r.total_ops / r.measured_seconds);
  /* A loop sample at about 1 s and the closing one; a driver held off the CPU
   * past the end of the window takes only the closing one. */
  CHECK(r.sample_count == 1 || r.sample_count == 2);
  CHECK(r.cv_valid == (r.sample_count >= 2) && r.unstable == (r.cv_valid && r.cv_percent > 10.0));
  CHECK(r.checksum != 0);
  expect_tiled_samples(h, &r);
  reason = truvello_reason(h);
  CHECK(reason != NULL && reason[0] == '\0');
  CHECK(truvello_reason(h) == reason);
  CHECK(log.bad == 0 && log.finals == 1 && log.last_phase == TRUVELLO_PHASE_DONE);
  CHECK(log.readers_saw_empty == log.events);
  CHECK(log.names_seen);

  begin("second run refused");
  log.events = 0;
  CHECK(truvello_run(h, &c, record_progress, &log) == TRUVELLO_STATUS_FAILED);
  CHECK(log.events == 0);
  CHECK(truvello_reason(h) == reason && reason[0] == '\0');
  {
    truvello_result_record again;
    CHECK(truvello_result(h, &again) == 1 && memcmp(&again, &r, sizeof r) == 0);
  }
  truvello_free(h);
}

static void phase_all_cpus(void) {
  truvello_handle* h = truvello_create();
  truvello_config c = config_of(TRUVELLO_BENCHMARK_ALL_CPUS, 0.0, 0.4);
  truvello_result_record r;
  struct progress_log log;
  long online = online_cpus();
  begin("all cpus");
  memset(&log, 0, sizeof log);
  log.handle = h;
  CHECK(truvello_run(h, &c, record_progress, &log) == TRUVELLO_STATUS_COMPLETED);
  CHECK(truvello_result(h, &r) == 1);
  CHECK(r.benchmark == 2 && (long)r.workers == online && log.workers == r.workers);
  CHECK(log.names_seen);
  CHECK(settled_worker_threads(0) == 0);
  expect_tiled_samples(h, &r);
  truvello_free(h);
}

/* --- cancellation ---------------------------------------------------------- */

struct canceller {
  truvello_handle* handle;
  int cancelled;
};

static void cancel_in_measurement(const truvello_progress_record* p, void* user_data) {
  struct canceller* c = (struct canceller*)user_data;
  if (p->phase == TRUVELLO_PHASE_MEASUREMENT && p->phase_elapsed_seconds > 1.1 && !c->cancelled) {
    c->cancelled = 1;
    truvello_cancel(c->handle);
    truvello_cancel(c->handle); /* twice is once */
  }
}

struct remote_cancel {
  truvello_handle* handle;
  struct latch past_a_second; /* set by the run's callback */
};

static void signal_past_a_second(const truvello_progress_record* p, void* user_data) {
  struct remote_cancel* rc = (struct remote_cancel*)user_data;
  if (p->phase == TRUVELLO_PHASE_MEASUREMENT && p->phase_elapsed_seconds > 1.1) latch_set(&rc->past_a_second);
}

/* Cancels once the run has measured for more than a second, so that it has a
 * loop sample to keep; the latch's deadline ends a run that never gets there. */
static void* cancel_when_past_a_second(void* arg) {
  struct remote_cancel* rc = (struct remote_cancel*)arg;
  latch_wait(&rc->past_a_second);
  truvello_cancel(rc->handle);
  return NULL;
}

static void phase_cancellation(void) {
  truvello_config c = config_of(1, 0.0, 30.0);
  truvello_result_record r;
  begin("cancelled from another thread during measurement");
  {
    truvello_handle* h = truvello_create();
    struct thread t;
    struct remote_cancel rc;
    rc.handle = h;
    latch_init(&rc.past_a_second);
    CHECK(thread_start(&t, cancel_when_past_a_second, &rc));
    CHECK(truvello_run(h, &c, signal_past_a_second, &rc) == TRUVELLO_STATUS_CANCELLED);
    thread_join(&t);
    latch_destroy(&rc.past_a_second);
    CHECK(truvello_result(h, &r) == 1);
    CHECK(r.status == 1 && r.mean_rate == 0.0 && r.cv_valid == 0 && r.workers == 1);
    CHECK(strcmp(truvello_reason(h), "cancelled") == 0);
    CHECK(r.sample_count >= 2);
    expect_tiled_samples(h, &r);
    truvello_free(h);
  }
  begin("cancelled from the callback");
  {
    truvello_handle* h = truvello_create();
    struct canceller cc = {h, 0};
    CHECK(truvello_run(h, &c, cancel_in_measurement, &cc) == TRUVELLO_STATUS_CANCELLED);
    CHECK(strcmp(truvello_reason(h), "cancelled") == 0);
    truvello_free(h);
  }
  begin("cancelled before it starts");
  {
    truvello_handle* h = truvello_create();
    truvello_config all = config_of(2, 0.0, 30.0);
    callback_calls = 0;
    truvello_cancel(h);
    CHECK(truvello_run(h, &all, count_calls, NULL) == TRUVELLO_STATUS_CANCELLED);
    CHECK(callback_calls == 0);
    CHECK(truvello_result(h, &r) == 1);
    CHECK(r.status == 1 && r.workers == (uint32_t)online_cpus() && r.sample_count == 0);
    CHECK(strcmp(truvello_reason(h), "cancelled before starting") == 0);
    truvello_cancel(h); /* after the run: no effect */
    CHECK(truvello_result(h, &r) == 1 && r.status == 1);
    truvello_free(h);
  }
  CHECK(settled_worker_threads(0) == 0);
}

/* --- concurrency ------------------------------------------------------------ */

struct racer {
  truvello_handle* handle;
  truvello_config config;
  uint32_t status;
  /* For the run that goes first: set at its first record, after which its
   * callback waits for `let_go`, so the run is surely still in progress when
   * the second one comes. */
  struct latch* running;
  struct latch* let_go;
};

static void hold_first_record(const truvello_progress_record* p, void* user_data) {
  struct racer* r = (struct racer*)user_data;
  (void)p;
  if (r->running == NULL) return;
  latch_set(r->running);
  latch_wait(r->let_go);
  r->running = NULL;
}

static void* race(void* arg) {
  struct racer* r = (struct racer*)arg;
  r->status = truvello_run(r->handle, &r->config, hold_first_record, r);
  return NULL;
}

static void phase_two_handles_at_once(void) {
  struct racer a, b;
  struct latch running, let_go;
  struct thread ta, tb;
  begin("two handles from two threads");
  latch_init(&running);
  latch_init(&let_go);
  a.handle = truvello_create();
  b.handle = truvello_create();
  a.config = config_of(1, 0.0, 1.0);
  b.config = a.config;
  a.running = &running;
  a.let_go = &let_go;
  b.running = NULL;
  CHECK(thread_start(&ta, race, &a));
  CHECK(latch_wait(&running));
  CHECK(thread_start(&tb, race, &b));
  thread_join(&tb);
  latch_set(&let_go);
  thread_join(&ta);
  CHECK(a.status == TRUVELLO_STATUS_COMPLETED);
  CHECK(b.status == TRUVELLO_STATUS_FAILED);
  CHECK(strcmp(truvello_reason(b.handle), "another benchmark is already running") == 0);
  truvello_free(a.handle);
  truvello_free(b.handle);
  latch_destroy(&running);
  latch_destroy(&let_go);

  begin("same handle from two threads");
  {
    truvello_handle* h = truvello_create();
    struct racer first, second;
    latch_init(&running);
    latch_init(&let_go);
    first.handle = second.handle = h;
    first.config = config_of(1, 0.0, 0.6);
    second.config = first.config;
    first.running = &running;
    first.let_go = &let_go;
    second.running = NULL;
    CHECK(thread_start(&ta, race, &first));
    CHECK(latch_wait(&running));
    race(&second); /* refused at once, the first unaffected */
    CHECK(second.status == TRUVELLO_STATUS_FAILED);
    latch_set(&let_go);
    thread_join(&ta);
    latch_destroy(&running);
    latch_destroy(&let_go);
    CHECK(first.status == TRUVELLO_STATUS_COMPLETED);
    CHECK(strcmp(truvello_reason(h), "") == 0);
    truvello_free(h);
  }
}

/* --- the NULL contract ------------------------------------------------------- */

static void phase_null_arguments(void) {
  truvello_handle* fresh = truvello_create();
  truvello_result_record r;
  truvello_sample_record s;
  begin("null arguments and fresh handles");
  CHECK(truvello_abi_version() == TRUVELLO_ABI_VERSION);
  CHECK(strcmp(truvello_version(), "0.0.2") == 0);
  CHECK(truvello_default_config(NULL) == 0);
  CHECK(truvello_run(NULL, NULL, NULL, NULL) == TRUVELLO_STATUS_FAILED);
  CHECK(truvello_result(NULL, &r) == 0);
  CHECK(truvello_sample(NULL, 0, &s) == 0);
  CHECK(truvello_reason(NULL) == NULL);
  truvello_cancel(NULL);
  truvello_free(NULL);
  CHECK(truvello_result(fresh, &r) == 0 && truvello_sample(fresh, 0, &s) == 0 && truvello_reason(fresh) == NULL);
  truvello_free(fresh);
}

int main(void) {
  phase_null_arguments();
  phase_rejections();
  phase_completed_run();
  phase_all_cpus();
  phase_cancellation();
  phase_two_handles_at_once();
  printf("%d checks passed, 0 failed\n", checks);
  return 0;
}
