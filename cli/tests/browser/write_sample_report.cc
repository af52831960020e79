// Writes an HTML report of a made-up default run of both benchmarks, whose
// CPU model and kernel text are markup, and beside it what a reader must
// find in it: the browser test opens the one and checks it against the other.
//
//   write_sample_report DIR   writes DIR/report.html and DIR/expected.json

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "output/html_report.h"
#include "output/units.h"
#include "report_samples.h"
#include "stats/warnings.h"

namespace {

bool write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "write_sample_report: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace truvello::cli;
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_sample_report DIR\n");
    return 64;
  }
  const std::string dir = argv[1];
  const Invocation inv = testing::default_invocation("<script>alert(1)</script>");
  const ReportSource source{"", &inv};
  const std::string html = html_text({&source, 1}, "2026-01-02 03:04 UTC");

  nlohmann::json expected;
  expected["charts"] = inv.runs.size();
  expected["texts"] = {inv.machine.cpu_model, inv.machine.os_kernel};
  for (const RunOutcome& run : inv.runs) {
    expected["scores"].push_back(rate_text(run.result->mean_rate));
    for (const Warning& w : run_warnings(run, inv.machine)) expected["warnings"].push_back(w.message);
  }
  expected["bytes"] = html.size();
  return write_file(dir + "/report.html", html) && write_file(dir + "/expected.json", expected.dump(2) + "\n") ? 0 : 1;
}
