// Fleets: the machine's identity, the Prometheus text, and `truvello fleet`
// on a generated fleet.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "commands/atomic_file.h"
#include "commands/fleet_command.h"
#include "document/fleet_reader.h"
#include "document/json_report.h"
#include "machine/machine_identity.h"
#include "output/prometheus_text.h"
#include "report_samples.h"
#include "temp_dir.h"
#include "text/sha256.h"

namespace truvello::cli {
namespace {

using nlohmann::json;
using testing::default_length_run;

TEST(MachineIdentity, Sha256MatchesTheStandardVectorsAndTheIdentityTheOtherWriters) {
  const struct {
    std::string input;
    const char* digest;
  } vectors[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      // The padding's edges: the length still fits the block, just does not, a whole block.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& v : vectors) EXPECT_EQ(sha256_hex(v.input), v.digest) << v.input.size() << " bytes";

  // The Python package derives the same identity from the same id.
  EXPECT_EQ(machine_identity("0123456789abcdef0123456789abcdef\n"), "9c3df0836771032684e4a01f9e791540");
  for (const char* bad : {"", "0123456789abcdef", "0123456789ABCDEF0123456789ABCDEF",
                          "0123456789abcdef0123456789abcdeg", "0123456789abcdef0123456789abcdef0"}) {
    EXPECT_FALSE(machine_identity(bad)) << bad;
  }
  EXPECT_EQ(checked_host_name("rack-3.example"), "rack-3.example");
  for (const char* bad : {"", "two words", "bell\a", "caf\xc3\xa9"}) EXPECT_FALSE(checked_host_name(bad)) << bad;
}

// A machine's invocation as a fleet has them: no warning about the machine,
// both benchmarks at default length, each at its rate.
Invocation machine_run(const std::string& cpu_model, const std::string& host, double single, double all_cpus) {
  Invocation inv;
  inv.command_version = inv.library_version = "1.4.0";
  inv.abi_version = 1;
  inv.machine.cpu_model = cpu_model;
  inv.machine.online_cpus = 8;
  inv.machine.governors = {"performance"};
  inv.machine.load = LoadAverage{0.1, 0.1, 0.1};
  inv.machine.host_name = host;
  inv.machine.machine_id = sha256_hex(host).substr(0, kMachineIdentityDigits);
  inv.end_time = 1796918678;
  inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, single, 0.0));
  if (all_cpus > 0.0) inv.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_ALL_CPUS, 8, all_cpus, 0.0));
  return inv;
}

// An invocation's document, as the command writes it.
json document_of(const Invocation& inv) { return invocation_json(view_of(inv)); }

TEST(Prometheus, EveryFigureOnceWithLabelsEscapedAndNoScoreForAFailedRun) {
  const struct {
    const char* text;
    const char* label;
  } labels[] = {
      {"Xeon \"Gold\" 6338 \\ 2.0GHz\nstepping 6", "Xeon \\\"Gold\\\" 6338 \\\\ 2.0GHz\\nstepping 6"},
      {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},  // UTF-8 stays as it is
      {"esc\x1b[31m del\x7f bad\xff\xfe", "esc\xef\xbf\xbd[31m del\xef\xbf\xbd bad\xef\xbf\xbd\xef\xbf\xbd"},
      {"overlong \xc0\xaf surrogate \xed\xa0\x80",
       "overlong \xef\xbf\xbd\xef\xbf\xbd surrogate "
       "\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd"},
  };
  for (const auto& l : labels) EXPECT_EQ(prometheus_label_value(l.text), l.label);

  Invocation good = machine_run(labels[0].text, "rack-3", 30.0e6, 200.0e6);
  const std::string text = prometheus_text(view_of(good));
  EXPECT_NE(text.find("truvello_score_ops_per_second{benchmark=\"single\",version=\"1.4.0\"} 3"), std::string::npos);
  EXPECT_NE(text.find("cpu_model=\"" + std::string(labels[0].label) + "\",cpus=\"8\""), std::string::npos);
  EXPECT_NE(text.find("host_name=\"rack-3\""), std::string::npos);
  EXPECT_NE(text.find("truvello_run_end_timestamp_seconds 1796918678\n"), std::string::npos);
  EXPECT_NE(text.find("truvello_scaling_efficiency{version=\"1.4.0\"} "), std::string::npos);
  EXPECT_EQ(text.find("interval"), std::string::npos) << "one run has no interval";

  // A series gives its interval; every family has its HELP and TYPE once.
  Invocation series = testing::series_invocation("Test CPU", testing::kSeriesWithASlowRun);
  const std::string series_text = prometheus_text(view_of(series));
  EXPECT_NE(series_text.find("truvello_series_disturbed_runs{benchmark=\"single\",version=\"1.4.0\"} 1\n"),
            std::string::npos);
  EXPECT_NE(series_text.find("truvello_series_interval_low_ops_per_second{"), std::string::npos);
  std::map<std::string, int> types;
  for (std::size_t at = series_text.find("# TYPE "); at != std::string::npos;
       at = series_text.find("# TYPE ", at + 1)) {
    ++types[series_text.substr(at, series_text.find(' ', at + 7) - at)];
  }
  for (const auto& [name, count] : types) EXPECT_EQ(count, 1) << name;

  // A failed run: no score, said so.
  Invocation failed = good;
  failed.runs.resize(1);
  failed.runs[0].status = TRUVELLO_STATUS_FAILED;
  failed.runs[0].result.reset();
  const std::string failed_text = prometheus_text(view_of(failed));
  EXPECT_EQ(failed_text.find("truvello_score"), std::string::npos);
  EXPECT_NE(failed_text.find("truvello_run_failed{benchmark=\"single\",version=\"1.4.0\"} 1\n"), std::string::npos);

  // Replaced whole; a directory that does not exist is refused, and nothing is left behind.
  const truvello::testing::TempDir dir;
  ASSERT_EQ(write_file_atomically(dir.file("t.prom"), text), "");
  ASSERT_EQ(write_file_atomically(dir.file("t.prom"), failed_text), "");
  EXPECT_EQ(truvello::testing::read_file(dir.file("t.prom")), failed_text);
  EXPECT_NE(write_file_atomically(dir.file("none/t.prom"), text), "");
  EXPECT_NE(check_directory_writable(dir.file("none/t.prom")), "");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("")), {}), 1) << "no temporary file is left";
}

TEST(Fleet, ReadsOnlyWhatItNeedsAndRefusesWhatItCannotTrust) {
  const json good = document_of(machine_run("Alpha 8-core", "rack-3", 30.0e6, 200.0e6));
  const struct {
    const char* name;
    std::function<void(json&)> change;
    const char* error;  // empty: read
  } table[] = {
      {"as written", [](json&) {}, ""},
      // Skipped unread: neither their size nor their figures matter here.
      {"samples not checked", [](json& d) { d["runs"][0]["samples"] = "anything"; }, ""},
      {"old writer",
       [](json& d) { d["machine"].erase("host_name"), d["machine"].erase("machine_id"), d.erase("end_time"); }, ""},
      {"future version", [](json& d) { d["schema_version"] = 3; }, "/schema_version: unknown schema_version 3"},
      {"no rate", [](json& d) { d["runs"][1]["result"]["mean_rate"] = 0; },
       "/runs/1/result/mean_rate: must be a finite number greater than 0 for a completed run"},
      {"completed without result", [](json& d) { d["runs"][0]["result"] = nullptr; },
       "/runs/0/result: a completed run needs its result"},
      {"unknown benchmark", [](json& d) { d["runs"][0]["name"] = "gpu"; },
       "/runs/0/name: must be \"single\" or \"all-cpus\""},
      {"escape in a code",
       [](json& d) {
         d["runs"][0]["warnings"] = json::array({{{"code", "\x1b[2J"}}});
       },
       "/runs/0/warnings/0/code: must be 1 to 64 printable ASCII characters"},
      {"identity not hex", [](json& d) { d["machine"]["machine_id"] = "Z"; },
       "/machine/machine_id: must be 1 to 64 lowercase hex digits"},
  };
  for (const auto& t : table) {
    json doc = good;
    t.change(doc);
    const FleetRead read = parse_fleet_record(doc.dump(), "r.json", 7);
    EXPECT_EQ(read.error, t.error) << t.name;
    if (read.record) {
      EXPECT_EQ(read.record->scores.size(), 2u) << t.name;
      EXPECT_EQ(read.record->machine_key(),
                doc["machine"].contains("machine_id") ? "id:" + sha256_hex("rack-3").substr(0, 32) : "file:r.json")
          << t.name;
    }
  }
}

void write_document(const std::string& path, const json& doc) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream(path) << doc.dump(1);
}

// Three CPU models of seven machines each, scores a little apart; three
// machines made slower by 8, 15 and 30 %, one whose only run was unstable
// and one whose series had a disturbed run. Around them: a machine whose older document was slow but whose
// latest is not, a document of an old writer with no names in it, one of
// another library version, a broken file and a file that is not JSON.
TEST(Fleet, NamesTheSlowMachinesAndCallsANoisyRunAMeasurementProblem) {
  const truvello::testing::TempDir dir;
  const struct {
    const char* model;
    double single;
    double all_cpus;
    int slowed;  // the machine made slower
    double factor;
  } models[] = {{"Alpha 8-core", 30.0e6, 220.0e6, 2, 0.92},
                {"Beta 8-core", 21.0e6, 150.0e6, 4, 0.85},
                {"Gamma 8-core", 45.0e6, 330.0e6, 6, 0.70}};
  std::vector<std::string> expected_slow;
  for (std::size_t g = 0; g < std::size(models); ++g) {
    const auto& m = models[g];
    for (int i = 0; i < 7; ++i) {
      const std::string model = m.model;
      const std::string host = model.substr(0, model.find(' ')) + "-" + std::to_string(i);
      // Twins differ by about a percent, as real ones do.
      const double jitter =
          (1.0 + 0.012 * std::sin(1.3 * i + static_cast<double>(g))) * (i == m.slowed ? m.factor : 1.0);
      if (i == m.slowed) expected_slow.push_back(host);
      write_document(dir.file("rack" + std::to_string(g) + "/" + host + ".json"),
                     document_of(machine_run(m.model, host, m.single * jitter, m.all_cpus * jitter)));
    }
  }
  // Unstable, its only run far below its peers.
  Invocation noisy = machine_run("Beta 8-core", "Beta-noisy", 21.0e6 * 0.8, 0.0);
  noisy.runs[0].result->unstable = 1;
  noisy.runs[0].result->cv_percent = 14.0;
  write_document(dir.file("rack1/noisy.json"), document_of(noisy));
  // A series whose fourth run a busy host spoiled: the machine is 10 % slow
  // by the others too, but a series with a disturbed run is measured again.
  Invocation series = machine_run("Gamma 8-core", "Gamma-series", 45.0e6, 0.0);
  series.runs.clear();
  for (const double share : {0.9, 0.905, 0.895, 0.6, 0.9}) {
    series.runs.push_back(default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, 45.0e6 * share, 0.0));
    series.runs.back().repeat = static_cast<std::uint32_t>(series.runs.size());
  }
  write_document(dir.file("rack2/series.json"), document_of(series));
  // Slow a month ago; measured again since, and fine.
  Invocation before = machine_run("Alpha 8-core", "Alpha-5", 30.0e6 * 0.7, 220.0e6 * 0.7);
  before.end_time = *before.end_time - 30 * 86400;
  write_document(dir.file("rack0/old/Alpha-5-before.json"), document_of(before));
  // An old writer: no names, no end time; known by its path.
  json old = document_of(machine_run("Gamma 8-core", "unnamed", 45.3e6, 331.0e6));
  for (const char* key : {"host_name", "machine_id"}) old["machine"].erase(key);
  old.erase("end_time");
  write_document(dir.file("rack2/old-writer.json"), old);
  // A host name from outside with markup and a terminal escape in it.
  json hostile = document_of(machine_run("Gamma 8-core", "x", 44.8e6, 329.0e6));
  hostile["machine"]["host_name"] = "<b>evil[2J";
  write_document(dir.file("rack2/hostile.json"), hostile);
  write_document(dir.file("other/newer.json"), document_of(machine_run("Alpha 8-core", "lone", 10.0e6, 0.0)));
  std::ofstream(dir.file("rack1/broken.json")) << "{\"schema_version\": 2, \"runs\": [";
  std::ofstream(dir.file("rack1/notes.txt")) << "not a document";

  FleetOptions options{{dir.file("rack0"), dir.file("rack1"), dir.file("rack2"), dir.file("other/newer.json")},
                       true,
                       dir.file("fleet.md"),
                       dir.file("fleet.html")};
  // The lone machine's library differs: a group of its own, too small to judge.
  {
    json lone = json::parse(std::ifstream(dir.file("other/newer.json")));
    lone["library"]["version"] = "1.5.0";
    write_document(dir.file("other/newer.json"), lone);
  }
  const CommandOutput output = fleet_command(options);
  ASSERT_EQ(output.exit_code, kExitOk) << output.err;
  EXPECT_NE(output.err.find("rack1/broken.json: not valid JSON"), std::string::npos) << output.err;
  EXPECT_EQ(std::count(output.err.begin(), output.err.end(), '\n'), 1) << output.err;

  const json view = json::parse(output.out);
  EXPECT_EQ(view["documents"], 3 * 7 + 6);
  EXPECT_EQ(view["machines"], 3 * 7 + 5) << "Alpha-5 counts once";
  EXPECT_EQ(view["superseded"], 1);
  EXPECT_EQ(view["unreadable"].size(), 1u);
  EXPECT_EQ(view["groups"].size(), 4u);
  std::map<std::string, std::set<std::string>> named;  // machine -> verdicts, over both benchmarks
  for (const json& group : view["groups"]) {
    for (const json& benchmark : group["benchmarks"]) {
      for (const json& machine : benchmark["scores"]) {
        if (machine["verdict"] != "peer") named[machine["machine"]].insert(machine["verdict"]);
      }
    }
  }
  const std::map<std::string, std::set<std::string>> expected = {{expected_slow[0], {"slow"}},
                                                                 {expected_slow[1], {"slow"}},
                                                                 {expected_slow[2], {"slow"}},
                                                                 {"Beta-noisy", {"measurement_problem"}},
                                                                 {"Gamma-series", {"measurement_problem"}}};
  EXPECT_EQ(named, expected);

  const std::string table = fleet_command(FleetOptions{options.paths, false, "", ""}).out;
  EXPECT_NE(table.find("Beta-noisy: 16.80 M ops/s, 20.1 % below the median: measurement problem (unstable)"),
            std::string::npos)
      << table;
  EXPECT_NE(table.find("5 machines named"), std::string::npos) << table;
  EXPECT_NE(table.find("Gamma-6: "), std::string::npos);
  EXPECT_NE(table.find("measurement problem (1 disturbed run)"), std::string::npos) << table;
  EXPECT_EQ(table.find('\x1b'), std::string::npos);
  const std::string html = truvello::testing::read_file(dir.file("fleet.html"));
  EXPECT_EQ(html.find("<b>evil"), std::string::npos);
  EXPECT_NE(html.find("&lt;b&gt;evil"), std::string::npos);
  EXPECT_NE(truvello::testing::read_file(dir.file("fleet.md")).find("| Beta-noisy | single |"), std::string::npos);

  // Nothing readable: said so, exit 2.
  const CommandOutput none =
      fleet_command(FleetOptions{{dir.file("rack1/broken.json"), dir.file("nowhere")}, false, "", ""});
  EXPECT_EQ(none.exit_code, kExitFailed);
  EXPECT_NE(none.err.find("no readable document among 2 files"), std::string::npos) << none.err;
}

}  // namespace
}  // namespace truvello::cli
