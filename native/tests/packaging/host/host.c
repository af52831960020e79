/* A minimal host built against an installed truvello: it must compile, link
 * and load the library, and prints the library's version. */
#include <stdio.h>
#include <truvello.h>

int main(void) {
  truvello_config config;
  truvello_handle* handle = truvello_create();
  if (handle == NULL || truvello_abi_version() != TRUVELLO_ABI_VERSION || truvello_default_config(&config) != 1) {
    fputs("unusable library\n", stderr);
    return 1;
  }
  truvello_cancel(handle);
  truvello_free(handle);
  printf("%s\n", truvello_version());
  return 0;
}
