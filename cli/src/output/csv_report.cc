#include "output/csv_report.h"

#include "text/units.h"

namespace truvello::cli {

std::string csv_text(const Invocation& invocation) {
  std::string out = "run,repeat,benchmark,status,index,t,dt,ops,rate\n";
  for (const RunOutcome& run : invocation.runs) {
    // Run keys and status texts are fixed words, so nothing needs quoting.
    const std::string prefix = std::string(run.kind().key()) + "," + std::to_string(run.repeat) + "," +
                               std::to_string(run.config.benchmark) + "," + status_text(run.status) + ",";
    for (std::size_t i = 0; i < run.samples.size(); ++i) {
      const truvello_sample_record& s = run.samples[i];
      out += prefix + std::to_string(i) + "," + exact_number(s.t) + "," + exact_number(s.dt) + "," +
             std::to_string(s.ops) + "," + exact_number(s.rate) + "\n";
    }
  }
  return out;
}

}  // namespace truvello::cli
