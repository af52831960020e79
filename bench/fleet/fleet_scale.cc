// How long `truvello fleet` takes, and how much memory, on a fleet of
// default-length runs: generates the documents into a temporary folder,
// runs the command on it a few times and reports the wall time and the
// largest resident set of each run against the targets (10,000 documents in
// 10 s and 500 MiB).
//
//   truvello_fleet_bench [--documents N] [--runs R]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <vector>

#include "document/json_report.h"
#include "report_samples.h"
#include "temp_dir.h"

#ifndef TRUVELLO_FLEET_BENCH_CLI
#error "TRUVELLO_FLEET_BENCH_CLI names the truvello command"
#endif

namespace {

using namespace truvello::cli;

constexpr double kTargetSeconds = 10.0;
constexpr double kTargetMiB = 500.0;
constexpr int kModels = 20;
constexpr int kSlowed = 10;  // machines made 20 % slower, spread over the models

struct Timing {
  double seconds = 0.0;
  double max_rss_mib = 0.0;
  int status = -1;
};

// Runs the command on the fleet, its output to a file, and waits for it.
Timing time_fleet(const std::string& folder, const std::string& out) {
  std::fflush(stdout);  // or the child would print what is still buffered here
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::FILE* sink = std::freopen(out.c_str(), "w", stdout);
    if (sink == nullptr) _exit(127);
    execl(TRUVELLO_FLEET_BENCH_CLI, "truvello", "fleet", folder.c_str(), "--json", static_cast<char*>(nullptr));
    _exit(127);
  }
  Timing t;
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return t;
  t.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  t.max_rss_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
  t.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return t;
}

// One machine's document: both benchmarks at default length (60 samples
// each), the workers observed, as the command writes them.
std::string document(int machine, double factor) {
  const int model = machine % kModels;
  Invocation inv = truvello::cli::testing::default_invocation("Fleet CPU model " + std::to_string(model));
  inv.machine.host_name = "node-" + std::to_string(machine);
  char id[33];
  std::snprintf(id, sizeof id, "%032x", machine);
  inv.machine.machine_id = id;
  inv.end_time = 1796918678 + machine;
  const double base = 20.0e6 + 1.0e6 * model;
  inv.runs = {truvello::cli::testing::default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, base * factor, 0.0),
              truvello::cli::testing::default_length_run(TRUVELLO_BENCHMARK_ALL_CPUS, 8, 7.5 * base * factor, 0.0)};
  for (RunOutcome& run : inv.runs) {
    RunObservation seen;
    for (std::uint32_t w = 0; w < run.result->workers; ++w) {
      seen.workers.push_back(WorkerObservation{"truvello-" + std::to_string(w), 60.0, 59.9, 0.01, 12, {w}, {}});
    }
    run.observation = seen;
  }
  return json_text(view_of(inv));
}

}  // namespace

int main(int argc, char** argv) {
  int documents = 10000;
  int runs = 3;
  // Each option takes a whole positive number; anything else is a usage error.
  const auto count = [](const char* text) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    return (errno != 0 || end == text || *end != '\0' || value < 1 || value > 10'000'000) ? 0 : static_cast<int>(value);
  };
  bool usage = argc % 2 == 0;
  for (int i = 1; !usage && i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    if (name == "--documents") {
      documents = count(argv[i + 1]);
    } else if (name == "--runs") {
      runs = count(argv[i + 1]);
    } else {
      usage = true;
    }
  }
  if (usage || documents < 1 || runs < 1) {
    std::fprintf(stderr, "usage: truvello_fleet_bench [--documents N] [--runs R]\n");
    return 64;
  }
  const truvello::testing::TempDir dir;
  const std::string folder = dir.file("fleet");
  std::mt19937_64 random(20261210);
  std::normal_distribution<double> twins(1.0, 0.01);
  std::uintmax_t bytes = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int m = 0; m < documents; ++m) {
    const std::string sub = folder + "/rack-" + std::to_string(m / 500);
    if (m % 500 == 0) std::filesystem::create_directories(sub);
    const bool slowed = m % (documents / kSlowed + 1) == 7;
    const std::string text = document(m, twins(random) * (slowed ? 0.8 : 1.0));
    bytes += text.size();
    std::ofstream(sub + "/node-" + std::to_string(m) + ".json") << text;
  }
  std::printf("generated %d documents, %.1f MiB (%.1f KB each), in %.1f s\n", documents, bytes / 1048576.0,
              bytes / 1024.0 / documents,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  std::printf("CPUs online: %ld\n", sysconf(_SC_NPROCESSORS_ONLN));

  bool within = true;
  for (int r = 1; r <= runs; ++r) {
    const Timing t = time_fleet(folder, dir.file("view.json"));
    within = within && t.status == 0 && t.seconds <= kTargetSeconds && t.max_rss_mib <= kTargetMiB;
    std::printf("run %d: %.2f s wall, %.1f MiB max resident, exit %d\n", r, t.seconds, t.max_rss_mib, t.status);
  }
  const auto view = nlohmann::json::parse(std::ifstream(dir.file("view.json")));
  std::printf("machines %d, groups %zu, named %d (%d made 20 %% slower)\n", view["machines"].get<int>(),
              view["groups"].size(), view["named"].get<int>(), kSlowed);
  std::printf("%s: at most %.0f s and %.0f MiB for the runs above\n", within ? "within the targets" : "MISSED",
              kTargetSeconds, kTargetMiB);
  return within ? 0 : 1;
}
