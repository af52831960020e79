/* Compiled as C99 and as C++ with every warning an error: the header must be
 * self-contained, warning-free, safe to include twice, and declare the entry
 * points with the signatures hosts rely on. */
#include "truvello.h"

int truvello_header_check(void);

int truvello_header_check(void) {
  uint32_t (*abi_version)(void) = truvello_abi_version;
  const char* (*version)(void) = truvello_version;
  truvello_handle* (*create)(void) = truvello_create;
  void (*release)(truvello_handle*) = truvello_free;
  void (*cancel)(truvello_handle*) = truvello_cancel;
  int32_t (*default_config)(truvello_config*) = truvello_default_config;
  truvello_progress_fn progress = NULL;
  truvello_config config = {TRUVELLO_ABI_VERSION, sizeof(truvello_config), TRUVELLO_BENCHMARK_SINGLE, 0, 120.0, 60.0};
  return abi_version != NULL && version != NULL && create != NULL && release != NULL && cancel != NULL &&
         default_config != NULL && progress == NULL && config.reserved == 0;
}
