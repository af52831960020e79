// Figure 1: the median time of one step, as the step microbenchmark reports
// it. The report only reads its JSON; the microbenchmark owns the method.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "child_process.h"
#include "figures.h"
#include "tight_loop.h"

namespace truvello::report {
namespace {

constexpr double kTargetNs = 10'500.0;
constexpr int kRepetitions = 5;
// Only a hung microbenchmark reaches it.
constexpr std::chrono::seconds kMicrobenchmarkLimit{1800};

struct Median {
  std::string name;
  double ns = 0.0;               // wall-clock time, the figure
  std::optional<double> cpu_ns;  // the thread's CPU time, shown beside it
};

double nanoseconds_per(const std::string& unit) {
  if (unit == "ns") return 1.0;
  if (unit == "us") return 1e3;
  if (unit == "ms") return 1e6;
  if (unit == "s") return 1e9;
  return 0.0;
}

// The "_median" aggregate of the first benchmark in the output.
std::optional<Median> median_from_json(const std::string& text) {
  const auto json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.contains("benchmarks")) return std::nullopt;
  for (const auto& b : json["benchmarks"]) {
    if (b.value("aggregate_name", "") != "median") continue;
    const double factor = nanoseconds_per(b.value("time_unit", "ns"));
    if (factor == 0.0 || !b.contains("real_time")) continue;
    Median m{b.value("run_name", b.value("name", "")), b["real_time"].get<double>() * factor, std::nullopt};
    if (b.contains("cpu_time")) m.cpu_ns = b["cpu_time"].get<double>() * factor;
    return m;
  }
  return std::nullopt;
}

std::optional<Median> run_microbenchmark(const std::string& binary, const std::string& filter) {
  const auto captured = testing::run_to_end({binary, "--benchmark_repetitions=" + std::to_string(kRepetitions),
                                             "--benchmark_filter=" + filter, "--benchmark_format=json"},
                                            testing::ChildProcess::Output::kPipes, kMicrobenchmarkLimit);
  if (!captured) return std::nullopt;
  std::fputs(captured->err.c_str(), stderr);  // the microbenchmark's own complaints, if any
  if (captured->status != 0) return std::nullopt;
  return median_from_json(captured->out);
}

}  // namespace

void kernel_step_figure(const Options& options, Table& table) {
  std::optional<Median> median;
  std::string filter = "step";
  if (!options.kernel_bench.empty() && access(options.kernel_bench.c_str(), X_OK) == 0) {
    median = run_microbenchmark(options.kernel_bench, filter);
    if (!median) {
      // The step benchmark is named with a capital S.
      filter = "[Ss]tep";
      median = run_microbenchmark(options.kernel_bench, filter);
    }
  }
  if (median) {
    table.notes.push_back("figure 1 from " + options.kernel_bench + " --benchmark_filter=" + filter + ": " +
                          median->name + ", median of " + std::to_string(kRepetitions) + " repetitions");
  } else {
    median = Median{"in-process", measured_step_ns(kRepetitions, 0.5), std::nullopt};
    table.notes.push_back("figure 1 measured in this process (step microbenchmark not found): median of " +
                          std::to_string(kRepetitions) + " repetitions of 0.5 s");
  }
  char value[64];
  if (median->cpu_ns) {
    std::snprintf(value, sizeof value, "%.0f ns (CPU time %.0f ns)", median->ns, *median->cpu_ns);
  } else {
    std::snprintf(value, sizeof value, "%.0f ns", median->ns);
  }
  table.rows.push_back({"1 kernel step, median time per step", value, "<= 10500 ns", median->ns <= kTargetNs});
}

}  // namespace truvello::report
