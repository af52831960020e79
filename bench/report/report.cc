// The performance and fidelity report: measures the whole system on the
// machine it runs on, in one process, and prints a table of figure, value,
// target and verdict. It takes a few minutes and wants an idle machine; it is
// a benchmark, never part of the test suite.
//
//   truvello_report [--kernel-bench PATH] [--cli PATH] [--only 1,2,...]
//                   [--overhead-pairs N] [--scaling-pairs N]
//                   [--stability-runs N] [--cancel-runs N]
//
// Exit status 0 when every figure that ran passed, 1 otherwise, 64 on a
// usage error.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "figures.h"
#include "host.h"
#include "truvello.h"

#ifndef TRUVELLO_REPORT_KERNEL_BENCH
#define TRUVELLO_REPORT_KERNEL_BENCH ""
#endif
#ifndef TRUVELLO_REPORT_CLI
#define TRUVELLO_REPORT_CLI ""
#endif

namespace {

using truvello::report::Options;
using truvello::report::Table;

constexpr int kExitUsage = 64;
// Above this 1-minute load average other work competes for the CPUs.
constexpr double kIdleLoad = 0.5;

std::string this_program(const char* argv0) {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return argv0;
  path[n] = '\0';
  return path;
}

std::set<int> figure_list(const std::string& text) {
  std::set<int> figures;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t comma = text.find(',', at);
    const std::string item = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    figures.insert(std::atoi(item.c_str()));
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return figures;
}

int usage(const char* message) {
  std::fprintf(stderr, "truvello_report: %s\n", message);
  return kExitUsage;
}

struct Figure {
  int number;
  const char* title;
  void (*run)(const Options&, Table&);
};

}  // namespace

int main(int argc, char** argv) {
  namespace r = truvello::report;
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--footprint-probe") return r::footprint_probe();
  if (args.size() == 2 && args[0] == "--burn") return r::burn(static_cast<unsigned>(std::atoi(args[1].c_str())));

  Options options;
  options.self = this_program(argv[0]);
  options.kernel_bench = TRUVELLO_REPORT_KERNEL_BENCH;
  options.cli = TRUVELLO_REPORT_CLI;
  std::set<int> only;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) return usage(("missing value after " + a).c_str());
    const std::string& v = args[++i];
    if (a == "--kernel-bench") {
      options.kernel_bench = v;
    } else if (a == "--cli") {
      options.cli = v;
    } else if (a == "--only") {
      only = figure_list(v);
    } else if (a == "--overhead-pairs") {
      options.overhead_pairs = std::max(3, std::atoi(v.c_str()));
    } else if (a == "--scaling-pairs") {
      options.scaling_pairs = std::max(3, std::atoi(v.c_str()));
    } else if (a == "--stability-runs") {
      options.stability_runs = std::max(1, std::atoi(v.c_str()));
    } else if (a == "--cancel-runs") {
      options.cancel_runs = std::max(1, std::atoi(v.c_str()));
    } else {
      return usage(("unknown option " + a).c_str());
    }
  }

  const Figure figures[] = {
      {1, "kernel step", r::kernel_step_figure},
      {2, "harness overhead", r::overhead_figure},
      {3, "scaling", r::scaling_figure},
      {4, "stability", r::stability_figure},
      {5, "responsiveness", r::responsiveness_figure},
      {6, "footprint", r::footprint_figure},
      {7, "detection", r::detection_figure},
  };

  Table table;
  const std::string load_at_start = r::load_average_text();
  const double load_one_at_start = r::load_average_one_minute().value_or(0.0);
  for (const Figure& f : figures) {
    if (!only.empty() && only.count(f.number) == 0) continue;
    std::fprintf(stderr, "figure %d: %s ...\n", f.number, f.title);
    f.run(options, table);
  }
  table.header.push_back(std::string("truvello performance report, library ") + truvello_version());
  table.header.push_back("machine: " + r::cpu_model_line() + ", " + std::to_string(r::online_cpus()) + " online CPUs");
  table.header.push_back("load average: " + load_at_start + " at start, " + r::load_average_text() + " at end");
  // Judged before the first figure: the report's own workers raise the load.
  if (load_one_at_start >= kIdleLoad) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the machine was not idle (1-minute load %.2f at start): figures 3, 4 and 7b assume it is",
                  load_one_at_start);
    table.notes.push_back(text);
  }
  table.print(stdout);
  return table.all_pass() ? 0 : 1;
}
