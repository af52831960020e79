#include "run_report.h"

#include "version.h"

namespace truvello {

RunReport make_report(std::uint32_t benchmark, double warmup_seconds, double measurement_seconds) {
  RunReport report;
  report.version = kVersion;
  report.benchmark = benchmark;
  report.warmup_seconds = warmup_seconds;
  report.measurement_seconds = measurement_seconds;
  return report;
}

}  // namespace truvello
