/* truvello: a CPU throughput benchmark behind a small C interface.
 *
 * Conventions, stated once for every declaration below:
 *   - Every pointer argument may be NULL. A NULL handle or output pointer makes
 *     the call do nothing and return its failure value (0, NULL, or
 *     TRUVELLO_STATUS_FAILED for truvello_run).
 *   - Functions that fill an output record return 1 on success and write the
 *     record only then, and then completely; on failure they return 0 and leave
 *     it untouched.
 *   - Failures are reported as a status code plus a reason text (a short
 *     lower-case phrase), never by unwinding or signalling into the caller.
 *   - All records have fixed layouts in native byte order, 8-byte aligned,
 *     without padding. Their sizes and offsets are checked at compile time
 *     below, in C and in C++.
 *   - The library reads no files and no environment and keeps no log. Only one
 *     benchmark runs in a process at a time; a handle runs at most once.
 *   - Memory handed to the host (the handle, the reason text) belongs to the
 *     library and is released by truvello_free.
 */
#ifndef TRUVELLO_H
#define TRUVELLO_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
/* The DLL's exports are listed in its module definition file; a host links
 * the import library. */
#define TRUVELLO_API
#elif defined(__GNUC__) || defined(__clang__)
#define TRUVELLO_API __attribute__((visibility("default")))
#else
#define TRUVELLO_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Interface version; the value of truvello_config.abi_version. */
#define TRUVELLO_ABI_VERSION 1u

/* Benchmark selectors (truvello_config.benchmark). */
#define TRUVELLO_BENCHMARK_SINGLE 1u   /* one worker thread */
#define TRUVELLO_BENCHMARK_ALL_CPUS 2u /* one worker thread per online CPU */

/* Status codes: the return value of truvello_run and the result's status. */
#define TRUVELLO_STATUS_COMPLETED 0u
#define TRUVELLO_STATUS_CANCELLED 1u
#define TRUVELLO_STATUS_FAILED 2u /* also: the call was refused */

/* Phase codes of a progress record. */
#define TRUVELLO_PHASE_WARMUP 1u
#define TRUVELLO_PHASE_MEASUREMENT 2u
#define TRUVELLO_PHASE_DONE 3u
#define TRUVELLO_PHASE_CANCELLED 4u
#define TRUVELLO_PHASE_FAILED 5u

/* A run handle. Opaque; created by truvello_create, released by truvello_free. */
typedef struct truvello_handle truvello_handle;

/* What to run. Read once, at the start of truvello_run, and never kept. */
typedef struct truvello_config {
  uint32_t abi_version;       /* must be TRUVELLO_ABI_VERSION */
  uint32_t struct_size;       /* must be sizeof(truvello_config), 32 */
  uint32_t benchmark;         /* TRUVELLO_BENCHMARK_SINGLE or _ALL_CPUS */
  uint32_t reserved;          /* must be 0 */
  double warmup_seconds;      /* finite, >= 0 */
  double measurement_seconds; /* finite, > 0 */
} truvello_config;

/* The outcome of a run, as truvello_result copies it out. */
typedef struct truvello_result_record {
  uint32_t abi_version;       /* always TRUVELLO_ABI_VERSION */
  uint32_t status;            /* TRUVELLO_STATUS_* */
  uint32_t benchmark;         /* the benchmark selector of the run */
  uint32_t workers;           /* worker threads set up; 0 if it failed early */
  double mean_rate;           /* operations per second; 0.0 unless completed */
  double warmup_seconds;      /* the caller's value, unchanged */
  double measurement_seconds; /* the caller's value, unchanged */
  double measured_seconds;    /* longest time a worker spent measuring */
  double cv_percent;          /* valid only when cv_valid is 1 */
  uint64_t total_ops;         /* operations in the measurement window */
  uint64_t checksum;          /* workload checksum over all workers */
  uint64_t sample_count;      /* number of sample records */
  uint32_t unstable;          /* 1 when cv_percent > 10 */
  uint32_t cv_valid;          /* 1 when cv_percent is present */
} truvello_result_record;

/* One interval of the measurement window; samples tile the window in order. */
typedef struct truvello_sample_record {
  double t;     /* end of the interval, seconds from the window's start */
  double dt;    /* length of the interval in seconds, > 0 */
  uint64_t ops; /* operations in the interval, all workers together */
  double rate;  /* ops / dt */
} truvello_sample_record;

/* A progress event; valid only while the callback runs. */
typedef struct truvello_progress_record {
  uint32_t phase;               /* TRUVELLO_PHASE_* */
  uint32_t workers;             /* worker threads of the run */
  double fraction;              /* share of the planned run time, 0 to 1 */
  double phase_elapsed_seconds; /* time in the current phase */
  double phase_seconds;         /* planned length of the current phase */
  uint64_t ops;                 /* operations so far in the current phase */
} truvello_progress_record;

/* Progress callback: called on the thread that called truvello_run. */
typedef void (*truvello_progress_fn)(const truvello_progress_record* record, void* user_data);

/* Returns TRUVELLO_ABI_VERSION. Any thread, any time. */
TRUVELLO_API uint32_t truvello_abi_version(void);

/* Returns the static NUL-terminated version text of the library, three
 * dot-separated numbers such as "1.2.3"; never NULL, never to be freed. Any
 * thread, any time. */
TRUVELLO_API const char* truvello_version(void);

/* Returns a new handle, never NULL (exhausted memory ends the process).
 * Any thread. */
TRUVELLO_API truvello_handle* truvello_create(void);

/* Releases the handle, its stored outcome and its reason text; pointers that
 * truvello_reason gave for it become invalid. NULL: no effect. Must not
 * overlap any other call on the same handle, including from the progress
 * callback. */
TRUVELLO_API void truvello_free(truvello_handle* handle);

/* Asks the handle's run to stop: before the run it ends cancelled without
 * starting, during the run it stops early, after the run nothing changes.
 * Cannot be withdrawn. Takes no lock and never waits. NULL: no effect.
 * Any thread, any time before truvello_free. */
TRUVELLO_API void truvello_cancel(truvello_handle* handle);

/* Fills all of *out with the defaults {1, 32, 1, 0, 120.0, 60.0} (benchmark
 * 1, 120 s warm-up, 60 s measurement) and returns 1. NULL out: returns 0.
 * Needs no handle. Any thread, any time. */
TRUVELLO_API int32_t truvello_default_config(truvello_config* out);

/* Runs one benchmark and blocks until it is over and its outcome is stored in
 * the handle; returns its status: TRUVELLO_STATUS_COMPLETED, _CANCELLED or
 * _FAILED. The first call on a handle claims it: every later call, concurrent
 * or not, returns TRUVELLO_STATUS_FAILED at once and changes nothing. NULL
 * handle: returns TRUVELLO_STATUS_FAILED. NULL or invalid config: fails with a
 * reason, stored like any outcome. `callback` may be NULL; it runs on the
 * calling thread, never after the call returns, and gets `user_data`, which
 * the library never dereferences. Only one run proceeds in a process at a
 * time: a concurrent run on another handle fails with "another benchmark is
 * already running". Any thread. */
TRUVELLO_API uint32_t truvello_run(truvello_handle* handle, const truvello_config* config,
                                   truvello_progress_fn callback, void* user_data);

/* Copies the stored outcome into *out and returns 1. Returns 0 and writes
 * nothing when handle or out is NULL or no outcome is stored yet (before or
 * during the run). Any thread, also from the progress callback. */
TRUVELLO_API int32_t truvello_result(truvello_handle* handle, truvello_result_record* out);

/* Copies sample `index` (0 to sample_count - 1) into *out and returns 1.
 * Returns 0 and writes nothing when handle or out is NULL, no outcome is
 * stored yet, or index is out of range. Any thread. */
TRUVELLO_API int32_t truvello_sample(truvello_handle* handle, uint64_t index, truvello_sample_record* out);

/* Returns the stored reason text: "" for a completed run, a short lower-case
 * phrase otherwise (NUL bytes in it come back as spaces). NULL when handle is
 * NULL or no outcome is stored yet. The text belongs to the handle: do not
 * free or change it; it keeps its address and content until truvello_free.
 * Any thread. */
TRUVELLO_API const char* truvello_reason(truvello_handle* handle);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* Layout checks, usable from C99 and C++ alike. */
#define TRUVELLO_LAYOUT_CHECK(name, cond) typedef char truvello_layout_check_##name[(cond) ? 1 : -1]
TRUVELLO_LAYOUT_CHECK(config_size, sizeof(truvello_config) == 32);
TRUVELLO_LAYOUT_CHECK(config_warmup, offsetof(truvello_config, warmup_seconds) == 16);
TRUVELLO_LAYOUT_CHECK(config_measure, offsetof(truvello_config, measurement_seconds) == 24);
TRUVELLO_LAYOUT_CHECK(result_size, sizeof(truvello_result_record) == 88);
TRUVELLO_LAYOUT_CHECK(result_mean, offsetof(truvello_result_record, mean_rate) == 16);
TRUVELLO_LAYOUT_CHECK(result_total, offsetof(truvello_result_record, total_ops) == 56);
TRUVELLO_LAYOUT_CHECK(result_unstable, offsetof(truvello_result_record, unstable) == 80);
TRUVELLO_LAYOUT_CHECK(result_cv_valid, offsetof(truvello_result_record, cv_valid) == 84);
TRUVELLO_LAYOUT_CHECK(sample_size, sizeof(truvello_sample_record) == 32);
TRUVELLO_LAYOUT_CHECK(sample_ops, offsetof(truvello_sample_record, ops) == 16);
TRUVELLO_LAYOUT_CHECK(sample_rate, offsetof(truvello_sample_record, rate) == 24);
TRUVELLO_LAYOUT_CHECK(progress_size, sizeof(truvello_progress_record) == 40);
TRUVELLO_LAYOUT_CHECK(progress_fraction, offsetof(truvello_progress_record, fraction) == 8);
TRUVELLO_LAYOUT_CHECK(progress_ops, offsetof(truvello_progress_record, ops) == 32);
#undef TRUVELLO_LAYOUT_CHECK

#endif /* TRUVELLO_H */
