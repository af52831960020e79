/* A host as a package user writes it: built against the unpacked -dev
 * package through pkg-config, it runs benchmark 1 for a second without
 * warm-up and prints the library's version and the rate it measured. Exit
 * status 0 only for a completed run that did work. */
#include <stdio.h>
#include <truvello.h>

int main(void) {
  truvello_config config;
  truvello_result_record result;
  truvello_handle* handle = truvello_create();
  uint32_t status;
  int ok;

  if (truvello_default_config(&config) != 1) {
    fputs("short_run: no default configuration\n", stderr);
    return 1;
  }
  config.warmup_seconds = 0.0;
  config.measurement_seconds = 1.0;
  status = truvello_run(handle, &config, NULL, NULL);
  ok = status == TRUVELLO_STATUS_COMPLETED && truvello_result(handle, &result) == 1 && result.total_ops > 0 &&
       result.sample_count > 0;
  if (!ok) {
    const char* reason = truvello_reason(handle);
    fprintf(stderr, "short_run: status %u, reason \"%s\"\n", (unsigned)status, reason ? reason : "");
  } else {
    printf("%s %.0f ops/s\n", truvello_version(), result.mean_rate);
  }
  truvello_free(handle);
  return ok ? 0 : 1;
}
