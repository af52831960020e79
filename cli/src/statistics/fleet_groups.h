#pragma once

// Many machines' saved runs, grouped by what should make them equally fast:
// the same CPU model, the same number of online CPUs and the same library.
// Within a group each benchmark's scores are summed up by their median and
// 10th and 90th percentiles, and a machine is named when it stands clearly
// below its peers:
//
// - its score lies more than kFleetOutlierSpreads robust spreads below the
//   group's median, the spread being 1.4826 times the median absolute
//   deviation of the log scores (a standard deviation where the scores are
//   normal, unmoved by a few slow machines), floored at kMinFleetSpread so
//   that twins agreeing to a tenth of a percent do not make a 1 % neighbour
//   stand out;
// - and more than kFleetOutlierPercent below the median, so that a large,
//   tight fleet does not name a machine for a difference nobody would act on.
//
// A group needs kMinFleetPeers machines with a score to judge any of them.
// A named machine whose run was unstable, disturbed, or warned of something
// that spoils a measurement (a busy or CPU-limited machine, a drifting or
// short window, workers kept off their CPU) is called a measurement problem:
// measure it again before opening it up.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/fleet_record.h"

namespace truvello::cli {

inline constexpr double kFleetOutlierSpreads = 3.0;
inline constexpr double kFleetOutlierPercent = 5.0;
inline constexpr double kMinFleetSpread = 0.01;  // of the log score: about 1 %
inline constexpr std::size_t kMinFleetPeers = 3;

// Whether a warning code says the measurement, not the machine, is in doubt.
bool spoils_measurement(std::string_view code);

enum class FleetVerdict {
  kPeer,                // within its group
  kSlow,                // named: slower than its peers
  kMeasurementProblem,  // named, but its measurement is in doubt
};

struct FleetMachine {
  const FleetRecord* record = nullptr;  // points into the records given
  const FleetScore* score = nullptr;    // the benchmark's entry in the record
  double off_percent = 0.0;             // against the group's median; negative: slower
  FleetVerdict verdict = FleetVerdict::kPeer;
  // Why a measurement problem: "unstable", "2 disturbed runs", warning codes.
  std::vector<std::string> doubts;
};

struct FleetBenchmark {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  std::vector<FleetMachine> machines;  // with a score, slowest first
  std::size_t without_score = 0;       // machines whose runs of it all failed
  double median = 0.0;
  double p10 = 0.0;
  double p90 = 0.0;
  double spread_percent = 0.0;  // the robust spread used, in percent of the median
  bool judged = false;          // enough peers to name anyone
};

struct FleetGroup {
  std::string cpu_model;  // empty when unknown
  unsigned online_cpus = 0;
  std::string library_version;
  std::size_t machines = 0;
  std::vector<FleetBenchmark> benchmarks;  // single first, those any machine ran
};

struct FleetView {
  std::size_t documents = 0;       // documents read
  std::size_t machines = 0;        // distinct machines among them
  std::size_t superseded = 0;      // documents of a machine that were not its latest
  std::vector<FleetGroup> groups;  // by CPU model, CPU count, version

  std::size_t named() const;  // machines named in any benchmark
};

// Each machine counts once, with its latest document (FleetRecord::when,
// ties to the later path). The view points into `records`.
FleetView fleet_view(std::span<const FleetRecord> records);

}  // namespace truvello::cli
