#include "document/export_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>

#include "document/json_report.h"
#include "output/summary.h"
#include "statistics/warnings.h"
#include "test_samples.h"

namespace truvello::cli {
namespace {

using nlohmann::json;
using testing::completed_result;
using testing::one_second_samples;

RunOutcome completed_run(std::uint32_t benchmark, std::uint32_t repeat, std::initializer_list<double> rates) {
  RunOutcome run;
  run.config = truvello_config{TRUVELLO_ABI_VERSION, 32, benchmark, 0, 2.0, 5.0};
  run.repeat = repeat;
  run.samples = one_second_samples(rates);
  run.status = TRUVELLO_STATUS_COMPLETED;
  run.result = completed_result(run.samples, benchmark, benchmark == TRUVELLO_BENCHMARK_SINGLE ? 1 : 2);
  return run;
}

// A series of two single runs, an all-CPU run and a failed one, on a
// machine with every optional fact known.
Invocation saved_invocation() {
  Invocation inv;
  inv.command_version = "1.4.0";
  inv.library_version = "1.4.0";
  inv.abi_version = 1;
  inv.machine.cpu_model = "Test CPU";
  inv.machine.online_cpus = 2;
  inv.machine.affinity_cpus = 2;
  inv.machine.cpu_quota = CpuQuota{150000, 100000};
  inv.machine.os_kernel = "Linux 6.1";
  inv.machine.governors = {"powersave"};
  inv.machine.hypervisor = true;
  inv.machine.load = LoadAverage{0.5, 0.25, 0.125};
  inv.machine.host_name = "rack-3.example";
  inv.machine.machine_id = "65580fea73cd91abbc42c35d0bb076cb";
  inv.end_time = 1796918678;
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {100, 104, 98, 101, 99}));
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 2, {90, 91, 92, 93, 94}));
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_ALL_CPUS, 1, {180, 190, 200}));
  inv.runs.back().throttle_before = 3;
  inv.runs.back().throttle_after = 10;
  // The workers as observed: on a hybrid machine, and with the figures a
  // machine without schedstat leaves out.
  inv.runs[0].observation =
      RunObservation{{WorkerObservation{"truvello-0", 4.9, 3.5, 0.4, 412, {0, 1, 16}, {"core", "core", "atom"}}}};
  inv.runs[2].observation =
      RunObservation{{WorkerObservation{"truvello-0", 2.9, 2.9, 0.0, 3, {0}, {}},
                      WorkerObservation{"truvello-1", 2.9, 2.8, std::nullopt, std::nullopt, {1}, {}}}};
  RunOutcome failed;
  failed.config = truvello_config{TRUVELLO_ABI_VERSION, 32, TRUVELLO_BENCHMARK_ALL_CPUS, 0, 0.0, NAN};
  failed.repeat = 2;
  failed.status = TRUVELLO_STATUS_FAILED;
  failed.result = truvello_result_record{};
  failed.result->status = TRUVELLO_STATUS_FAILED;
  failed.result->benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  failed.result->measurement_seconds = NAN;
  failed.reason = "durations must be finite: warmup >= 0, measurement > 0";
  inv.runs.push_back(failed);
  return inv;
}

// The document of saved_invocation(), as the command writes it.
std::string saved_text() {
  const Invocation inv = saved_invocation();
  return json_text(view_of(inv));
}

TEST(ExportReader, ReadsBackWhatTheCommandWrote) {
  const Invocation written = saved_invocation();
  const ExportRead read = parse_export(json_text(view_of(written)));
  ASSERT_TRUE(read.saved) << read.error;
  EXPECT_EQ(read.saved->schema_version, 2);
  EXPECT_EQ(read.saved->command_name, "truvello");
  const Invocation& back = read.saved->invocation;
  EXPECT_EQ(back.library_version, "1.4.0");
  EXPECT_EQ(back.machine.cpu_model, "Test CPU");
  EXPECT_EQ(back.machine.usable_cpus(), 1.5);
  EXPECT_EQ(back.machine.governors, written.machine.governors);
  EXPECT_TRUE(back.machine.hypervisor);
  ASSERT_TRUE(back.machine.load);
  EXPECT_EQ(back.machine.load->fifteen, 0.125);
  ASSERT_EQ(back.runs.size(), 4u);
  for (std::size_t i = 0; i < back.runs.size(); ++i) {
    SCOPED_TRACE(i);
    const RunOutcome& a = written.runs[i];
    const RunOutcome& b = back.runs[i];
    EXPECT_EQ(b.repeat, a.repeat);
    EXPECT_EQ(b.status, a.status);
    EXPECT_EQ(b.reason, a.reason);
    ASSERT_EQ(b.samples.size(), a.samples.size());
    for (std::size_t k = 0; k < a.samples.size(); ++k) EXPECT_EQ(b.samples[k].rate, a.samples[k].rate);
    ASSERT_EQ(b.result.has_value(), a.result.has_value());
    EXPECT_EQ(b.result->total_ops, a.result->total_ops);
    EXPECT_EQ(b.result->checksum, a.result->checksum);
    ASSERT_EQ(b.observation.has_value(), a.observation.has_value());
    if (a.observation) {
      EXPECT_EQ(observation_text(*b.observation), observation_text(*a.observation));
    }
  }
  EXPECT_TRUE(std::isnan(back.runs[3].config.measurement_seconds)) << "null comes back as not-a-number";
  // The summary is the same text, the throttle warning included, though the
  // counters it came from are not in the document.
  EXPECT_EQ(summary_text(view_of(back), Glyphs::kBlocks), summary_text(view_of(written), Glyphs::kBlocks));
  EXPECT_NE(summary_text(view_of(back), Glyphs::kAscii).find("thermal throttle counters rose by 7"), std::string::npos);
  EXPECT_EQ(json_text(view_of(back)), json_text(view_of(written))) << "a document read and written again is unchanged";
}

// A CPU model as the machine may report it, with C1 controls a terminal
// would obey (U+0085 next line, U+009B the escape sequence introducer) and
// DEL: the document escapes each, and still reads back to the same text.
TEST(ExportReader, ControlCharactersAreEscapedAndReadBackAsThemselves) {
  const struct {
    std::string text;
    std::string written;  // as it stands between the quotes
    std::string back;     // as it reads back
  } texts[] = {
      {"next\xC2\x85line", "next\\u0085line", "next\xC2\x85line"},
      {"csi\xC2\x9B[31m", "csi\\u009b[31m", "csi\xC2\x9B[31m"},
      {"\xC2\x80\xC2\x9F", "\\u0080\\u009f", "\xC2\x80\xC2\x9F"},  // the ends of the C1 range
      {"del\x7f", "del\\u007f", "del\x7f"},
      {"esc\x1b bell\x07", "esc\\u001b bell\\u0007", "esc\x1b bell\x07"},
      // Printable: as it is.
      {"nbsp\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC", "nbsp\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC",
       "nbsp\xC2\xA0 caf\xC3\xA9 \xE2\x82\xAC"},
      // A lead byte without its end is not UTF-8.
      {"bad\xC2", "bad\xEF\xBF\xBD", "bad\xEF\xBF\xBD"},
  };
  for (const auto& t : texts) {
    SCOPED_TRACE(t.written);
    Invocation written = saved_invocation();
    written.machine.cpu_model = "CPU " + t.text;
    const std::string text = json_text(view_of(written));
    EXPECT_NE(text.find("\"cpu_model\": \"CPU " + t.written + "\""), std::string::npos);
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto c = static_cast<unsigned char>(text[i]);
      const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
      ASSERT_FALSE(c == 0x7f || (c < 0x20 && c != '\n') || (c == 0xC2 && next >= 0x80 && next <= 0x9F))
          << "a raw control at byte " << i;
    }
    const ExportRead read = parse_export(text);
    ASSERT_TRUE(read.saved) << read.error;
    EXPECT_EQ(read.saved->invocation.machine.cpu_model, "CPU " + t.back);
    EXPECT_EQ(json_text(view_of(read.saved->invocation)), text) << "written again, the same text";
  }
}

TEST(ExportReader, AcceptsVersionOneAndOtherWritersWithUnknownMachineFacts) {
  json doc = json::parse(saved_text());
  doc["schema_version"] = 1;
  for (json& run : doc["runs"]) {
    run.erase("repeat");
    run.erase("observed");  // written since, and optional
  }
  // As are the machine's names and the end time.
  doc["machine"].erase("host_name");
  doc["machine"].erase("machine_id");
  doc.erase("end_time");
  ExportRead read = parse_export(doc.dump());
  ASSERT_TRUE(read.saved) << read.error;
  for (const RunOutcome& run : read.saved->invocation.runs) EXPECT_EQ(run.repeat, 1u);
  EXPECT_TRUE(read.saved->invocation.machine.host_name.empty());
  EXPECT_FALSE(read.saved->invocation.end_time);

  // The Python package knows less about the machine and says so with null;
  // "os_kernel" is the kernel's newer name.
  doc = json::parse(saved_text());
  doc["command"]["name"] = "truvello-python";
  json& m = doc["machine"];
  for (const char* key :
       {"cpu_model", "kernel", "governors", "hypervisor", "load_average", "affinity_cpus", "cpu_quota"}) {
    m[key] = nullptr;
  }
  read = parse_export(doc.dump());
  ASSERT_TRUE(read.saved) << read.error;
  EXPECT_EQ(read.saved->command_name, "truvello-python");
  const MachineContext& machine = read.saved->invocation.machine;
  EXPECT_TRUE(machine.cpu_model.empty());
  EXPECT_FALSE(machine.hypervisor);
  EXPECT_FALSE(machine.load);
  EXPECT_EQ(machine.usable_cpus(), 2.0);

  m.erase("kernel");
  m["os_kernel"] = "Linux 6.9";
  read = parse_export(doc.dump());
  ASSERT_TRUE(read.saved) << read.error;
  EXPECT_EQ(read.saved->invocation.machine.os_kernel, "Linux 6.9");
}

}  // namespace
}  // namespace truvello::cli

namespace truvello::cli {
namespace {

// One malformed document: how it is made from a good one, and what the one
// line about it must say.
struct Malformed {
  const char* name;
  std::function<std::string(nlohmann::json&)> make;  // returns the text to read
  const char* error;                                 // the whole message, or its start ending in '*'
};

std::string dumped(const nlohmann::json& doc) { return doc.dump(); }

std::string deeply_nested() {
  std::string text = "{\"schema_version\": 2, \"x\": ";
  for (int i = 0; i < 100000; ++i) text += '[';
  return text;
}

// Gives a run's "derived" or a series' entry a capability.
void set_capability(json& f, double rate, double low, double high, json share) {
  f["capability"] = rate;
  f["capability_ci_low"] = low;
  f["capability_ci_high"] = high;
  f["spell_share"] = std::move(share);
  f["capability_note"] = nullptr;
}

TEST(ExportReader, ReadsDocumentsWrittenBeforeTheCapability) {
  json doc = json::parse(saved_text());
  const auto drop = [](json& f) {
    for (const char* key :
         {"capability", "capability_ci_low", "capability_ci_high", "spell_share", "capability_note"}) {
      ASSERT_TRUE(f.contains(key)) << key;
      f.erase(key);
    }
  };
  for (json& run : doc["runs"]) drop(run["derived"]);
  for (json& entry : doc["series"]) drop(entry);
  const ExportRead read = parse_export(doc.dump());
  ASSERT_TRUE(read.saved) << read.error;
  // Shown again, the capability is derived from the samples as before.
  EXPECT_EQ(json_text(view_of(read.saved->invocation)), saved_text());
}

TEST(ExportReader, RefusesEachMalformedDocumentWithOneLineNamingTheField) {
  const Malformed table[] = {
      {"not JSON", [](json&) { return std::string("truvello ran fine"); }, "not valid JSON (parse error at*"},
      {"empty", [](json&) { return std::string(); }, "empty file, not JSON"},
      {"truncated",
       [](json& d) {
         const std::string text = d.dump(2);
         return text.substr(0, text.size() / 2);
       },
       "not valid JSON (parse error at*"},
      {"invalid UTF-8",
       [](json& d) {
         std::string text = d.dump();
         return text.replace(text.find("Test CPU"), 4, "\xff\xfe\xfd\xfc");
       },
       "not valid JSON (parse error at*"},
      {"nested without end", [](json&) { return deeply_nested(); }, "nested deeper than 16 levels*"},
      {"an array", [](json&) { return std::string("[1, 2]"); }, "the document must be a JSON object"},
      {"no version", [](json& d) { return d.erase("schema_version"), dumped(d); }, "/schema_version: missing"},
      {"future version", [](json& d) { return d["schema_version"] = 3, dumped(d); },
       "/schema_version: unknown schema_version 3 (this command reads versions 1 to 2)"},
      {"version as text", [](json& d) { return d["schema_version"] = "2", dumped(d); },
       "/schema_version: must be a whole number"},
      {"machine id not hex", [](json& d) { return d["machine"]["machine_id"] = "../../etc", dumped(d); },
       "/machine/machine_id: must be 1 to 64 lowercase hex digits"},
      {"empty host name", [](json& d) { return d["machine"]["host_name"] = "", dumped(d); },
       "/machine/host_name: must be 1 to 255 bytes"},
      {"end time negative", [](json& d) { return d["end_time"] = -5, dumped(d); }, "/end_time: must not be negative"},
      {"runs not an array", [](json& d) { return d["runs"] = json::object(), dumped(d); }, "/runs: must be an array"},
      {"run not an object", [](json& d) { return d["runs"][1] = 7, dumped(d); }, "/runs/1: must be an object"},
      {"completed run without samples",
       [](json& d) {
         d["runs"][0]["samples"] = json::array();
         d["runs"][0]["result"]["sample_count"] = 0;
         return dumped(d);
       },
       "/runs/0/samples: a completed run has no samples"},
      {"negative dt", [](json& d) { return d["runs"][0]["samples"][2]["dt"] = -1.0, dumped(d); },
       "/runs/0/samples/2/dt: must not be negative"},
      {"zero-length sample", [](json& d) { return d["runs"][0]["samples"][2]["dt"] = 0.0, dumped(d); },
       "/runs/0/samples/2/dt: must be greater than 0"},
      {"non-finite rate (written as null)",
       [](json& d) { return d["runs"][1]["samples"][1]["rate"] = nullptr, dumped(d); },
       "/runs/1/samples/1/rate: must be a finite number, not null"},
      {"overflowing figure",
       [](json& d) {
         d["runs"][0]["samples"][0]["t"] = 12345.5;
         std::string text = d.dump();
         return text.replace(text.find("12345.5"), 7, "1e400");
       },
       "not valid JSON (number overflow parsing '1e400')"},
      {"negative rate", [](json& d) { return d["runs"][0]["samples"][0]["rate"] = -100.0, dumped(d); },
       "/runs/0/samples/0/rate: must not be negative"},
      {"negative ops", [](json& d) { return d["runs"][0]["samples"][0]["ops"] = -5, dumped(d); },
       "/runs/0/samples/0/ops: must not be negative"},
      {"fractional ops", [](json& d) { return d["runs"][0]["samples"][0]["ops"] = 99.5, dumped(d); },
       "/runs/0/samples/0/ops: must be a whole number"},
      {"rate unlike ops/dt", [](json& d) { return d["runs"][0]["samples"][3]["rate"] = 150.0, dumped(d); },
       "/runs/0/samples/3/rate: disagrees with ops / dt"},
      {"total unlike the samples", [](json& d) { return d["runs"][2]["result"]["total_ops"] = 1, dumped(d); },
       "/runs/2/result/total_ops: disagrees with the sum of the samples' ops"},
      {"score unlike the total", [](json& d) { return d["runs"][0]["result"]["mean_rate"] = 1e9, dumped(d); },
       "/runs/0/result/mean_rate: disagrees with total_ops / measured_seconds"},
      {"score not finite", [](json& d) { return d["runs"][0]["result"]["mean_rate"] = nullptr, dumped(d); },
       "/runs/0/result/mean_rate: must be a finite number greater than 0 for a completed run"},
      {"sample count", [](json& d) { return d["runs"][1]["result"]["sample_count"] = 9, dumped(d); },
       "/runs/1/result/sample_count: disagrees with the number of samples"},
      {"completed without result", [](json& d) { return d["runs"][0]["result"] = nullptr, dumped(d); },
       "/runs/0/result: a completed run needs its result"},
      {"statuses disagree", [](json& d) { return d["runs"][0]["result"]["status"] = 1, dumped(d); },
       "/runs/0/result/status: disagrees with the run's status"},
      {"unknown status", [](json& d) { return d["runs"][0]["status"] = 5, dumped(d); },
       "/runs/0/status: unknown status 5"},
      {"unknown benchmark", [](json& d) { return d["runs"][0]["config"]["benchmark"] = 7, dumped(d); },
       "/runs/0/config/benchmark: unknown benchmark 7"},
      {"name unlike the benchmark", [](json& d) { return d["runs"][2]["name"] = "single", dumped(d); },
       "/runs/2/name: \"single\" does not match config.benchmark 2"},
      {"repeat zero", [](json& d) { return d["runs"][1]["repeat"] = 0, dumped(d); },
       "/runs/1/repeat: must be at least 1"},
      {"version 2 without repeat", [](json& d) { return d["runs"][1].erase("repeat"), dumped(d); },
       "/runs/1/repeat: missing"},
      {"field too large", [](json& d) { return d["runs"][0]["result"]["workers"] = 1ull << 40, dumped(d); },
       "/runs/0/result/workers: must be at most 4294967295"},
      {"no machine", [](json& d) { return d.erase("machine"), dumped(d); }, "/machine: missing"},
      {"negative CPU count", [](json& d) { return d["machine"]["online_cpus"] = -2, dumped(d); },
       "/machine/online_cpus: must not be negative"},
      {"short load average",
       [](json& d) {
         return d["machine"]["load_average"] = json::array({1, 2}), dumped(d);
       },
       "/machine/load_average: must hold three numbers"},
      {"zero quota period", [](json& d) { return d["machine"]["cpu_quota"]["period_us"] = 0, dumped(d); },
       "/machine/cpu_quota/period_us: must be greater than 0"},
      {"observed not an object", [](json& d) { return d["runs"][0]["observed"] = 1, dumped(d); },
       "/runs/0/observed: must be an object"},
      {"observed without workers", [](json& d) { return d["runs"][0]["observed"] = json::object(), dumped(d); },
       "/runs/0/observed/workers: missing"},
      {"worker without a name", [](json& d) { return d["runs"][0]["observed"]["workers"][0].erase("name"), dumped(d); },
       "/runs/0/observed/workers/0/name: missing"},
      {"worker name with a control character",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["name"] = "truvello-0\x1b[2J", dumped(d); },
       "/runs/0/observed/workers/0/name: must be 1 to 64 printable ASCII characters"},
      {"empty window", [](json& d) { return d["runs"][2]["observed"]["workers"][1]["window_seconds"] = 0, dumped(d); },
       "/runs/2/observed/workers/1/window_seconds: must be greater than 0"},
      {"negative CPU time",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["cpu_seconds"] = -1, dumped(d); },
       "/runs/0/observed/workers/0/cpu_seconds: must not be negative"},
      {"share unlike the times",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["cpu_share"] = 0.9, dumped(d); },
       "/runs/0/observed/workers/0/cpu_share: disagrees with cpu_seconds / window_seconds"},
      {"wait as text",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["wait_seconds"] = "0.4", dumped(d); },
       "/runs/0/observed/workers/0/wait_seconds: must be a number or null"},
      {"fractional switches",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["involuntary_switches"] = 1.5, dumped(d); },
       "/runs/0/observed/workers/0/involuntary_switches: must be a whole number"},
      {"CPUs out of order",
       [](json& d) {
         return d["runs"][0]["observed"]["workers"][0]["cpus"] = json::array({0, 16, 1}), dumped(d);
       },
       "/runs/0/observed/workers/0/cpus/2: must be greater than the CPU before it"},
      {"CPU past the limit",
       [](json& d) { return d["runs"][2]["observed"]["workers"][0]["cpus"][0] = 1 << 16, dumped(d); },
       "/runs/2/observed/workers/0/cpus/0: must be at most 65535"},
      {"core types for some CPUs only",
       [](json& d) { return d["runs"][0]["observed"]["workers"][0]["core_types"].erase(0), dumped(d); },
       "/runs/0/observed/workers/0/core_types: must be empty or name the core type of each CPU"},
      {"warning without text", [](json& d) { return d["runs"][0]["warnings"][0]["message"] = 3, dumped(d); },
       "/runs/0/warnings/0/message: must be a string"},
      {"capability outside its interval",
       [](json& d) { return set_capability(d["runs"][0]["derived"], 100.0, 110.0, 120.0, nullptr), dumped(d); },
       "/runs/0/derived/capability_ci_low: must be greater than 0 and at most the capability"},
      {"spell share of all the rate",
       [](json& d) { return set_capability(d["runs"][0]["derived"], 100.0, 99.0, 101.0, 1.0), dumped(d); },
       "/runs/0/derived/spell_share: must be less than 1"},
      {"capability without its interval",
       [](json& d) {
         set_capability(d["runs"][0]["derived"], 100.0, 99.0, 101.0, 0.1);
         return d["runs"][0]["derived"].erase("capability_ci_high"), dumped(d);
       },
       "/runs/0/derived/capability_ci_high: missing"},
      {"spell share without a capability",
       [](json& d) { return d["runs"][1]["derived"]["spell_share"] = 0.1, dumped(d); },
       "/runs/1/derived/spell_share: must be null without a capability"},
      {"series capability as text", [](json& d) { return d["series"][0]["capability"] = "fast", dumped(d); },
       "/series/0/capability: must be a number or null"},
  };
  for (const Malformed& m : table) {
    SCOPED_TRACE(m.name);
    json doc = json::parse(saved_text());
    const ExportRead read = parse_export(m.make(doc));
    EXPECT_FALSE(read.saved);
    const std::string expected = m.error;
    if (expected.back() == '*') {
      EXPECT_EQ(read.error.rfind(expected.substr(0, expected.size() - 1), 0), 0u) << read.error;
    } else {
      EXPECT_EQ(read.error, expected);
    }
    EXPECT_EQ(read.error.find('\n'), std::string::npos) << "one line";
    for (char c : read.error) EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "printable: " << read.error;
  }
}

// An A/B series' document: its record comes back, and a section that does
// not agree with its runs is refused.
TEST(ExportReader, ReadsAnABSeriesAndRefusesOneThatDisagreesWithItsRuns) {
  Invocation written = saved_invocation();
  AbRecord& ab = written.ab.emplace();
  ab.label_b = "powersave";
  ab.setup_a = "cpupower frequency-set -g performance";
  ab.setup_b = "cpupower frequency-set -g powersave";
  ab.seed = 4294967295u;
  ab.order = "ABBA";
  ab.target_percent = 1.0;
  ab.max_time_seconds = 60.0;
  ab.stopped = "budget";
  const ExportRead read = parse_export(json_text(view_of(written)));
  ASSERT_TRUE(read.saved) << read.error;
  ASSERT_TRUE(read.saved->invocation.ab);
  const AbRecord& back = *read.saved->invocation.ab;
  EXPECT_EQ(back.label_b, "powersave");
  EXPECT_EQ(back.setup_b, ab.setup_b);
  EXPECT_EQ(back.restore, "");
  EXPECT_EQ(back.seed, ab.seed);
  EXPECT_EQ(back.order, "ABBA");
  EXPECT_EQ(back.target_percent, 1.0);
  EXPECT_EQ(back.stopped, "budget");

  const Malformed table[] = {
      {"order too short", [](json& d) { return d["ab"]["order"] = "ABB", dumped(d); },
       "/ab/order: must have one letter per run"},
      {"order with another letter", [](json& d) { return d["ab"]["order"] = "ABBC", dumped(d); },
       "/ab/order: must hold only the letters A and B"},
      {"run on the other side", [](json& d) { return d["runs"][2]["side"] = "A", dumped(d); },
       "/runs/2/side: disagrees with /ab/order"},
      {"run without a side", [](json& d) { return d["runs"][0].erase("side"), dumped(d); }, "/runs/0/side: missing"},
      {"label not text", [](json& d) { return d["ab"]["labels"]["A"] = 1, dumped(d); },
       "/ab/labels/A: must be a string"},
      {"seed too large", [](json& d) { return d["ab"]["seed"] = 4294967296u, dumped(d); },
       "/ab/seed: must be at most 4294967295"},
      {"unknown end", [](json& d) { return d["ab"]["stopped"] = "tired", dumped(d); }, "/ab/stopped: must be one of*"},
  };
  for (const Malformed& m : table) {
    SCOPED_TRACE(m.name);
    json doc = json::parse(json_text(view_of(written)));
    const ExportRead bad = parse_export(m.make(doc));
    EXPECT_FALSE(bad.saved);
    const std::string expected = m.error;
    if (expected.back() == '*') {
      EXPECT_EQ(bad.error.rfind(expected.substr(0, expected.size() - 1), 0), 0u) << bad.error;
    } else {
      EXPECT_EQ(bad.error, expected);
    }
  }
}

TEST(ExportReader, FilesThatAreNotDocumentsAreRefusedWithoutReadingThem) {
  char dir_template[] = "/tmp/truvello-reader-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  const std::string fifo = dir + "/pipe";
  const std::string huge = dir + "/huge.json";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // Sparse: its size says too large before a byte is read.
  {
    std::FILE* f = std::fopen(huge.c_str(), "w");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(ftruncate(fileno(f), static_cast<off_t>(kMaxExportBytes) + 1), 0);
    std::fclose(f);
  }
  EXPECT_EQ(read_export(dir + "/none.json").error, dir + "/none.json: cannot open: No such file or directory");
  EXPECT_EQ(read_export(dir).error, dir + ": is a directory");
  EXPECT_EQ(read_export(fifo).error, fifo + ": not a regular file");
  EXPECT_EQ(read_export(huge).error, huge + ": larger than 64 MiB: not a document of this command");
  EXPECT_EQ(parse_export(std::string(kMaxExportBytes + 1, ' ')).error,
            "larger than 64 MiB: not a document of this command");
  std::remove(fifo.c_str());
  std::remove(huge.c_str());
  rmdir(dir.c_str());
}

}  // namespace
}  // namespace truvello::cli
