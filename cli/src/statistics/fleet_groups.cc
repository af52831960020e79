#include "statistics/fleet_groups.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <tuple>
#include <unordered_map>
#include <unordered_set>

#include "statistics/robust.h"

namespace truvello::cli {

namespace {

// Codes that cast doubt on the measurement rather than the machine. A
// governor, thermal throttling or a hypervisor are the machine as it is set
// up and may well be why it is slow: they are shown, but the machine is
// still named slow.
constexpr std::array<std::string_view, 7> kSpoilingCodes = {"busy",  "cpu_limit",    "cpu_share", "cpu_wait",
                                                            "drift", "short_window", "unstable"};

std::vector<std::string> doubts_of(const FleetScore& s) {
  std::vector<std::string> doubts;
  if (s.unstable) doubts.emplace_back("unstable");
  if (s.disturbed > 0) {
    doubts.push_back(std::to_string(s.disturbed) + " disturbed run" + (s.disturbed == 1 ? "" : "s"));
  }
  for (const std::string& code : s.warning_codes) {
    if (spoils_measurement(code) && code != "unstable") doubts.push_back(code);
  }
  return doubts;
}

FleetBenchmark judge(std::uint32_t benchmark, const std::vector<const FleetRecord*>& members) {
  FleetBenchmark b;
  b.benchmark = benchmark;
  for (const FleetRecord* r : members) {
    for (const FleetScore& s : r->scores) {
      if (s.benchmark != benchmark) continue;
      if (s.score) {
        b.machines.push_back(FleetMachine{r, &s, 0.0, FleetVerdict::kPeer, doubts_of(s)});
      } else {
        ++b.without_score;
      }
    }
  }
  if (b.machines.empty()) return b;
  std::sort(b.machines.begin(), b.machines.end(), [](const FleetMachine& x, const FleetMachine& y) {
    return std::tie(*x.score->score, x.record->path) < std::tie(*y.score->score, y.record->path);
  });
  std::vector<double> scores;
  for (const FleetMachine& m : b.machines) scores.push_back(*m.score->score);
  b.median = quantile(scores, 0.5);
  b.p10 = quantile(scores, 0.1);
  b.p90 = quantile(scores, 0.9);
  // Off the median in logs, so that the spread is one of proportions.
  std::vector<double> log_offs;
  for (const double s : scores) log_offs.push_back(std::log(s / b.median));
  const double spread = std::max(mad_spread(log_offs, 0.0), kMinFleetSpread);
  b.spread_percent = 100.0 * std::expm1(spread);
  b.judged = b.machines.size() >= kMinFleetPeers;
  for (FleetMachine& m : b.machines) {
    const double log_off = std::log(*m.score->score / b.median);
    m.off_percent = 100.0 * std::expm1(log_off);
    const bool below = -log_off > kFleetOutlierSpreads * spread && m.off_percent < -kFleetOutlierPercent;
    if (b.judged && below) m.verdict = m.doubts.empty() ? FleetVerdict::kSlow : FleetVerdict::kMeasurementProblem;
  }
  return b;
}

}  // namespace

bool spoils_measurement(std::string_view code) {
  return std::find(kSpoilingCodes.begin(), kSpoilingCodes.end(), code) != kSpoilingCodes.end();
}

std::size_t FleetView::named() const {
  std::unordered_set<const FleetRecord*> machines;
  for (const FleetGroup& g : groups) {
    for (const FleetBenchmark& b : g.benchmarks) {
      for (const FleetMachine& m : b.machines) {
        if (m.verdict != FleetVerdict::kPeer) machines.insert(m.record);
      }
    }
  }
  return machines.size();
}

FleetView fleet_view(std::span<const FleetRecord> records) {
  FleetView view;
  view.documents = records.size();
  std::unordered_map<std::string, const FleetRecord*> latest;
  for (const FleetRecord& r : records) {
    auto [it, fresh] = latest.try_emplace(r.machine_key(), &r);
    const FleetRecord& kept = *it->second;
    const bool later = r.when() != kept.when() ? r.when() > kept.when() : r.path > kept.path;
    if (!fresh && later) {
      it->second = &r;
    }
  }
  view.machines = latest.size();
  view.superseded = records.size() - latest.size();

  using Key = std::tuple<std::string, unsigned, std::string>;
  std::map<Key, std::vector<const FleetRecord*>> groups;
  for (const auto& [key, r] : latest) groups[Key{r->cpu_model, r->online_cpus, r->library_version}].push_back(r);
  for (auto& [key, members] : groups) {
    // The same order on every run of the command, whatever the hash map did.
    std::sort(members.begin(), members.end(),
              [](const FleetRecord* x, const FleetRecord* y) { return x->path < y->path; });
    FleetGroup g{std::get<0>(key), std::get<1>(key), std::get<2>(key), members.size(), {}};
    for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
      FleetBenchmark b = judge(benchmark, members);
      if (!b.machines.empty() || b.without_score > 0) g.benchmarks.push_back(std::move(b));
    }
    view.groups.push_back(std::move(g));
  }
  return view;
}

}  // namespace truvello::cli
