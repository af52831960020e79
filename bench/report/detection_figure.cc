// Figure 7: whether the command notices other work. A one-worker run of the
// truvello command, once on its own and once with a competing CPU-bound
// process started halfway through its measurement window; its drift warning
// must fire in the second run only.
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <thread>
#include <vector>

#include "child_process.h"
#include "figures.h"
#include "host.h"

namespace truvello::report {
namespace {

constexpr double kWarmup = 1.0;
constexpr double kMeasurement = 10.0;
// Only a hung command reaches it.
constexpr std::chrono::seconds kCommandLimit{600};

struct DriftReading {
  bool warned = false;
  std::optional<double> drift_percent;
};

std::optional<DriftReading> drift_from_json(const std::string& text) {
  const auto json = nlohmann::json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.contains("runs") || json["runs"].empty()) return std::nullopt;
  const auto& run = json["runs"][0];
  DriftReading reading;
  for (const auto& w : run.value("warnings", nlohmann::json::array())) {
    if (w.value("code", "") == "drift") reading.warned = true;
  }
  if (run.contains("derived") && run["derived"].contains("drift_percent") &&
      run["derived"]["drift_percent"].is_number()) {
    reading.drift_percent = run["derived"]["drift_percent"].get<double>();
  }
  return reading;
}

// Runs the command; with `compete`, starts the competing process halfway
// through the measurement window and ends it with the command.
std::optional<DriftReading> command_run(const Options& options, bool compete) {
  const std::vector<std::string> argv{options.cli, "--single", "--warmup", "1", "--measure", "10", "--json", "--quiet"};
  std::optional<testing::ChildProcess> competitor;
  std::optional<testing::Finished> captured;
  try {
    testing::ChildProcess command(argv, testing::ChildProcess::Output::kPipes);
    // The command's output is drained on its own thread while this one waits
    // for the halfway point.
    std::thread reader([&] { captured = command.finish(kCommandLimit); });
    if (compete) {
      std::this_thread::sleep_for(std::chrono::duration<double>(kWarmup + kMeasurement / 2.0));
      try {
        competitor.emplace(std::vector<std::string>{options.self, "--burn", std::to_string(online_cpus())},
                           testing::ChildProcess::Output::kInherited);
      } catch (const std::exception&) {
        // Without a competitor the second reading shows a quiet command.
      }
    }
    reader.join();
  } catch (const std::exception&) {
    return std::nullopt;
  }
  competitor.reset();  // killed and reaped
  if (!captured || captured->status != 0) return std::nullopt;
  std::fputs(captured->err.c_str(), stderr);
  return drift_from_json(captured->out);
}

std::string reading_text(const std::optional<DriftReading>& r) {
  if (!r) return "command failed";
  char text[96];
  if (r->drift_percent) {
    std::snprintf(text, sizeof text, "%s, drift %+.1f %%", r->warned ? "warned" : "quiet", *r->drift_percent);
  } else {
    std::snprintf(text, sizeof text, "%s, no drift figure", r->warned ? "warned" : "quiet");
  }
  return text;
}

}  // namespace

int burn(unsigned threads) {
  std::vector<std::thread> spinners;
  for (unsigned i = 0; i < threads; ++i) {
    spinners.emplace_back([] {
      std::atomic<unsigned long> spins{0};
      for (;;) spins.fetch_add(1, std::memory_order_relaxed);
    });
  }
  for (auto& t : spinners) t.join();
  return 0;
}

void detection_figure(const Options& options, Table& table) {
  if (options.cli.empty() || access(options.cli.c_str(), X_OK) != 0) {
    table.rows.push_back({"7a drift warning, competitor from halfway", "not run: no truvello command", "fires", false});
    table.rows.push_back({"7b drift warning, nothing competing", "not run: no truvello command", "quiet", false});
    return;
  }
  const auto quiet = command_run(options, false);
  const auto loaded = command_run(options, true);
  table.rows.push_back({"7a drift warning, " + std::to_string(online_cpus()) + "-thread competitor from halfway",
                        reading_text(loaded), "fires", loaded && loaded->warned});
  table.rows.push_back({"7b drift warning, nothing competing", reading_text(quiet), "quiet", quiet && !quiet->warned});
  table.notes.push_back("figure 7 ran " + options.cli + " --single --warmup 1 --measure 10 --json --quiet");
}

}  // namespace truvello::report
