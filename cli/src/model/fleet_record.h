#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "truvello.h"

namespace truvello::cli {

// One benchmark of a saved run, as much of it as a fleet view needs.
struct FleetScore {
  std::uint32_t benchmark = TRUVELLO_BENCHMARK_SINGLE;
  std::optional<double> score;             // the run's rate, or its series' score; absent: no run completed
  std::size_t runs = 0;                    // runs of the benchmark, completed or not
  std::size_t disturbed = 0;               // runs its series left out as disturbed
  bool unstable = false;                   // the library flagged a completed run unstable
  std::vector<std::string> warning_codes;  // every code its runs carried, sorted, each once
};

// What a fleet view keeps of one document: who, on what, when, and the
// scores; never the samples.
struct FleetRecord {
  std::string path;
  std::string host_name;   // empty when not recorded
  std::string machine_id;  // empty when not recorded
  std::string cpu_model;   // empty when unknown
  unsigned online_cpus = 0;
  std::string library_version;
  std::optional<std::int64_t> end_time;  // seconds since the Unix epoch, when recorded
  std::int64_t file_time = 0;            // the file's modification time, the fallback for end_time
  std::vector<FleetScore> scores;        // single first, each benchmark the document has once

  // How the machine is known: its identity, else its host name, else the
  // file (each document of an old writer is then a machine of its own).
  std::string machine_key() const {
    if (!machine_id.empty()) return "id:" + machine_id;
    if (!host_name.empty()) return "host:" + host_name;
    return "file:" + path;
  }
  // A name to show: the host name, else the identity, else the file.
  std::string machine_name() const {
    if (!host_name.empty()) return host_name;
    if (!machine_id.empty()) return machine_id;
    return path;
  }
  std::int64_t when() const { return end_time.value_or(file_time); }
};

}  // namespace truvello::cli
