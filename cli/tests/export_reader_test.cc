#include "compare/export_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "output/json_report.h"
#include "output/summary.h"
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
  inv.command_version = "0.0.2";
  inv.library_version = "0.0.2";
  inv.abi_version = 1;
  inv.machine.cpu_model = "Test CPU";
  inv.machine.online_cpus = 2;
  inv.machine.affinity_cpus = 2;
  inv.machine.cpu_quota = CpuQuota{150000, 100000};
  inv.machine.kernel = "Linux 6.1";
  inv.machine.governors = {"powersave"};
  inv.machine.hypervisor = true;
  inv.machine.load = LoadAverage{0.5, 0.25, 0.125};
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 1, {100, 104, 98, 101, 99}));
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_SINGLE, 2, {90, 91, 92, 93, 94}));
  inv.runs.push_back(completed_run(TRUVELLO_BENCHMARK_ALL_CPUS, 1, {180, 190, 200}));
  inv.runs.back().throttle_before = 3;
  inv.runs.back().throttle_after = 10;
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

TEST(ExportReader, ReadsBackWhatTheCommandWrote) {
  const Invocation written = saved_invocation();
  const ExportRead read = parse_export(json_text(written));
  ASSERT_TRUE(read.saved) << read.error;
  EXPECT_EQ(read.saved->schema_version, 2);
  EXPECT_EQ(read.saved->command_name, "truvello");
  const Invocation& back = read.saved->invocation;
  EXPECT_EQ(back.library_version, "0.0.2");
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
  }
  EXPECT_TRUE(std::isnan(back.runs[3].config.measurement_seconds)) << "null comes back as not-a-number";
  // The summary is the same text, the throttle warning included, though the
  // counters it came from are not in the document.
  EXPECT_EQ(summary_text(back, Glyphs::kBlocks), summary_text(written, Glyphs::kBlocks));
  EXPECT_NE(summary_text(back, Glyphs::kAscii).find("thermal throttle counters rose by 7"), std::string::npos);
  EXPECT_EQ(json_text(back), json_text(written)) << "a document read and written again is unchanged";
}

TEST(ExportReader, AcceptsVersionOneAndOtherWritersWithUnknownMachineFacts) {
  json doc = json::parse(json_text(saved_invocation()));
  doc["schema_version"] = 1;
  for (json& run : doc["runs"]) run.erase("repeat");
  ExportRead read = parse_export(doc.dump());
  ASSERT_TRUE(read.saved) << read.error;
  for (const RunOutcome& run : read.saved->invocation.runs) EXPECT_EQ(run.repeat, 1u);

  // The Python package knows less about the machine and says so with null;
  // "os_kernel" is the kernel's newer name.
  doc = json::parse(json_text(saved_invocation()));
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
  EXPECT_EQ(read.saved->invocation.machine.kernel, "Linux 6.9");
}

}  // namespace
}  // namespace truvello::cli
