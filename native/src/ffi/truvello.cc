// The exported C functions: thin adapters over the C++ internals.
#include "truvello.h"

#include "version.h"

extern "C" {

uint32_t truvello_abi_version(void) { return truvello::kAbiVersion; }

const char* truvello_version(void) { return truvello::kVersion; }

}  // extern "C"
