#include "document/fleet_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "document/document_file.h"
#include "document/export_reader.h"
#include "machine/machine_identity.h"
#include "statistics/series_estimate.h"

namespace truvello::cli {

namespace {

using nlohmann::json;

struct Bad {
  std::string what;
};

[[noreturn]] void bad(const std::string& pointer, const std::string& what) { throw Bad{pointer + ": " + what}; }

const json& member(const json& object, const char* key, const std::string& pointer) {
  if (!object.is_object()) bad(pointer, "must be an object");
  const auto it = object.find(key);
  if (it == object.end()) bad(pointer + "/" + key, "missing");
  return *it;
}

const json* optional_member(const json& object, const char* key) {
  const auto it = object.find(key);
  return it == object.end() || it->is_null() ? nullptr : &*it;
}

std::string text_of(const json& value, const std::string& pointer) {
  if (!value.is_string()) bad(pointer, "must be a string");
  return value.get<std::string>();
}

std::uint64_t whole_of(const json& value, const std::string& pointer, std::uint64_t max) {
  if (!value.is_number_unsigned() || value.get<std::uint64_t>() > max) {
    bad(pointer, "must be a whole number from 0 to " + std::to_string(max));
  }
  return value.get<std::uint64_t>();
}

// The keys skipped while parsing: every per-sample and per-worker figure,
// and what is derived from them.
bool skipped(const json& key) {
  const std::string& k = key.get_ref<const std::string&>();
  return k == "samples" || k == "observed" || k == "derived" || k == "series";
}

struct TooDeep {};

FleetRecord read_record(const json& doc, const std::string& path, long long modified) {
  FleetRecord r;
  r.path = path;
  r.file_time = modified;
  if (!doc.is_object()) bad("", "the document must be a JSON object");
  const std::uint64_t version = whole_of(member(doc, "schema_version", ""), "/schema_version", 1000);
  if (version < kOldestReadableSchema || version > kNewestReadableSchema) {
    bad("/schema_version", "unknown schema_version " + std::to_string(version));
  }
  r.library_version = text_of(member(member(doc, "library", ""), "version", "/library"), "/library/version");
  const json& machine = member(doc, "machine", "");
  if (const json* model = optional_member(machine, "cpu_model")) r.cpu_model = text_of(*model, "/machine/cpu_model");
  r.online_cpus = static_cast<unsigned>(whole_of(member(machine, "online_cpus", "/machine"), "/machine/online_cpus",
                                                 std::numeric_limits<unsigned>::max()));
  if (const json* host = optional_member(machine, "host_name")) {
    r.host_name = text_of(*host, "/machine/host_name");
    if (r.host_name.empty() || r.host_name.size() > kMaxHostName) {
      bad("/machine/host_name", "must be 1 to " + std::to_string(kMaxHostName) + " bytes");
    }
  }
  if (const json* id = optional_member(machine, "machine_id")) {
    r.machine_id = text_of(*id, "/machine/machine_id");
    if (!is_machine_identity(r.machine_id)) bad("/machine/machine_id", "must be 1 to 64 lowercase hex digits");
  }
  if (const json* end = optional_member(doc, "end_time")) {
    r.end_time = static_cast<std::int64_t>(whole_of(*end, "/end_time", std::uint64_t{1} << 40));
  }

  const json& runs = member(doc, "runs", "");
  if (!runs.is_array()) bad("/runs", "must be an array");
  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    FleetScore s;
    s.benchmark = benchmark;
    std::vector<double> scores;
    const char* key = benchmark == TRUVELLO_BENCHMARK_SINGLE ? "single" : "all-cpus";
    for (std::size_t i = 0; i < runs.size(); ++i) {
      const std::string pointer = "/runs/" + std::to_string(i);
      const std::string name = text_of(member(runs[i], "name", pointer), pointer + "/name");
      if (name != "single" && name != "all-cpus") bad(pointer + "/name", "must be \"single\" or \"all-cpus\"");
      if (name != key) continue;
      ++s.runs;
      const auto status = whole_of(member(runs[i], "status", pointer), pointer + "/status", TRUVELLO_STATUS_FAILED);
      const json& result = member(runs[i], "result", pointer);
      if (status == TRUVELLO_STATUS_COMPLETED) {
        if (result.is_null()) bad(pointer + "/result", "a completed run needs its result");
        const json& rate = member(result, "mean_rate", pointer + "/result");
        if (!rate.is_number() || !(rate.get<double>() > 0.0) || !std::isfinite(rate.get<double>())) {
          bad(pointer + "/result/mean_rate", "must be a finite number greater than 0 for a completed run");
        }
        scores.push_back(rate.get<double>());
        s.unstable = s.unstable ||
                     whole_of(member(result, "unstable", pointer + "/result"), pointer + "/result/unstable", 1) != 0;
      }
      if (const json* warnings = optional_member(runs[i], "warnings")) {
        if (!warnings->is_array()) bad(pointer + "/warnings", "must be an array");
        for (std::size_t w = 0; w < warnings->size(); ++w) {
          const std::string at = pointer + "/warnings/" + std::to_string(w);
          std::string code = text_of(member((*warnings)[w], "code", at), at + "/code");
          // Shown as it is in every view: a short key of printable ASCII.
          const bool printable = std::all_of(code.begin(), code.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
          if (code.empty() || code.size() > 64 || !printable) {
            bad(at + "/code", "must be 1 to 64 printable ASCII characters");
          }
          s.warning_codes.push_back(std::move(code));
        }
      }
    }
    if (s.runs == 0) continue;
    // The score as every other view takes it: one run's rate, or the
    // series' score with its disturbed runs left out, derived here again
    // rather than trusted from the file.
    if (const auto estimate = estimate_series(scores)) {
      s.score = estimate->score;
      s.disturbed = estimate->disturbed.size();
    }
    std::sort(s.warning_codes.begin(), s.warning_codes.end());
    s.warning_codes.erase(std::unique(s.warning_codes.begin(), s.warning_codes.end()), s.warning_codes.end());
    r.scores.push_back(std::move(s));
  }
  return r;
}

}  // namespace

FleetRead parse_fleet_record(std::string_view text, const std::string& path, long long modified) {
  FleetRead read;
  json doc;
  try {
    doc = json::parse(text, [](int depth, json::parse_event_t event, json& parsed) {
      if (depth > kMaxExportDepth) throw TooDeep{};
      return event != json::parse_event_t::key || !skipped(parsed);
    });
    read.record = read_record(doc, path, modified);
  } catch (const TooDeep&) {
    read.error = "nested deeper than " + std::to_string(kMaxExportDepth) + " levels: not a document of this command";
  } catch (const json::exception&) {
    read.error = text.empty() ? "empty file, not JSON" : "not valid JSON";
  } catch (const Bad& e) {
    read.error = e.what;
  }
  return read;
}

FleetRead read_fleet_record(const std::string& path) {
  std::string text;
  long long modified = 0;
  FleetRead read;
  if (const std::string failure = read_document_file(path, text, &modified); !failure.empty()) {
    read.error = failure;
  } else {
    read = parse_fleet_record(text, path, modified);
  }
  if (!read.record) read.error = path + ": " + read.error;
  return read;
}

}  // namespace truvello::cli
