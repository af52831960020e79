#include "process_stats.h"

#include "process_threads.h"

namespace truvello::reliability {

std::optional<std::uint64_t> resident_kib() { return testing::status_number("VmRSS"); }

}  // namespace truvello::reliability
