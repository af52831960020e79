// Writes every kind of HTML page the command makes, of made-up runs whose
// CPU model, kernel text, file names, labels and host names are markup, and
// beside them what a reader must find in them: the browser test opens each
// and checks it against the other.
//
//   report.html   a run of both benchmarks, the single-worker one a series
//                 of five runs, one of them slowed by a busy machine
//   compare.html  that series against a candidate's four runs, 10 % slower
//   ab.html       an A/B series of six pairs, B about 10 % slower, the third
//                 pair far off the others
//   fleet.html    seven machines of one model, one of them 20 % slow
//
//   write_sample_report DIR   writes all four and DIR/expected.json

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "output/ab_report.h"
#include "output/comparison_report.h"
#include "output/fleet_report.h"
#include "output/html_report.h"
#include "report_samples.h"
#include "statistics/comparison.h"
#include "statistics/fleet_groups.h"
#include "statistics/warnings.h"
#include "text/units.h"

namespace {

using namespace truvello::cli;

constexpr const char* kDate = "2026-01-02 03:04 UTC";

bool write_file(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::out | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "write_sample_report: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

// What a reader must find in a page of these sources. Each sample has one
// benchmark with a series of runs, and that series has one disturbed run.
nlohmann::json expected_page(const std::string& file, const std::vector<ReportSource>& sources) {
  nlohmann::json page{{"file", file},
                      {"kind", "report"},
                      {"texts", nlohmann::json::array()},
                      {"scores", nlohmann::json::array()},
                      {"warnings", nlohmann::json::array()},
                      {"verdicts", nlohmann::json::array()}};
  std::set<std::uint32_t> benchmarks;
  std::size_t single_points = 0;
  for (const ReportSource& source : sources) {
    const Invocation& inv = source.view->source();
    if (!source.label.empty()) page["texts"].push_back(source.label);
    page["texts"].push_back(inv.machine.cpu_model);
    page["texts"].push_back(inv.machine.os_kernel);
    for (const RunOutcome& run : inv.runs) {
      benchmarks.insert(run.config.benchmark);
      if (run.config.benchmark == TRUVELLO_BENCHMARK_SINGLE && run.completed()) ++single_points;
      page["scores"].push_back(rate_text(run.result->mean_rate));
      for (const Warning& w : run_warnings(run, inv.machine)) page["warnings"].push_back(w.message);
    }
  }
  page["charts"] = benchmarks.size();
  page["series"] = {{{"points", single_points}, {"disturbed", 1}}};
  return page;
}

// What a reader must find on any other page: no rate chart, and none of the
// report's scores and warnings unless added.
nlohmann::json expected_other_page(const std::string& file, const std::string& kind) {
  return nlohmann::json{{"file", file},
                        {"kind", kind},
                        {"texts", nlohmann::json::array()},
                        {"scores", nlohmann::json::array()},
                        {"warnings", nlohmann::json::array()},
                        {"verdicts", nlohmann::json::array()},
                        {"charts", 0},
                        {"series", nlohmann::json::array()}};
}

// Six pairs in which B is about 10 % slower, the third far off the others,
// on the report's machine; both sides labelled with markup.
Invocation ab_series(const MachineContext& machine) {
  const double a[] = {30.0e6, 30.3e6, 29.7e6, 30.15e6, 30.0e6, 29.85e6};
  const double ratio[] = {0.90, 0.905, 0.60, 0.895, 0.90, 0.902};
  Invocation inv = testing::ab_series_of(a, ratio);
  inv.machine = machine;
  inv.ab->label_a = "perf <script>alert(3)</script>";
  inv.ab->label_b = "<img src=x onerror=alert(4)>";
  return inv;
}

// Seven machines of one model running both benchmarks, the last of them,
// named with markup, 20 % slower than its twins.
std::vector<FleetRecord> fleet_records() {
  std::vector<FleetRecord> out;
  for (int i = 0; i < 7; ++i) {
    FleetRecord r;
    r.host_name = i == 6 ? "<b>evil</b>" : "rack-" + std::to_string(i + 1);
    r.path = "/fleet/" + std::to_string(i + 1) + ".json";
    r.cpu_model = "Test CPU <script>alert(5)</script>";
    r.online_cpus = 8;
    r.library_version = "1.4.0";
    const double share = (1.0 + 0.004 * i) * (i == 6 ? 0.8 : 1.0);
    for (const auto& [benchmark, rate] :
         {std::pair{TRUVELLO_BENCHMARK_SINGLE, 30.0e6}, std::pair{TRUVELLO_BENCHMARK_ALL_CPUS, 220.0e6}}) {
      FleetScore score;
      score.benchmark = benchmark;
      score.score = rate * share;
      score.runs = 1;
      r.scores.push_back(score);
    }
    out.push_back(r);
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_sample_report DIR\n");
    return 64;
  }
  const std::string dir = argv[1];
  nlohmann::json expected;

  // A run: the single-worker series, then the all-CPU run.
  Invocation run = testing::default_invocation("<script>alert(1)</script>");
  const Invocation series = testing::series_invocation(run.machine.cpu_model, testing::kSeriesWithASlowRun);
  run.runs.erase(run.runs.begin());
  run.runs.insert(run.runs.begin(), series.runs.begin(), series.runs.end());
  const InvocationView run_view = view_of(run);
  const std::vector<ReportSource> run_sources{{"", &run_view}};
  const std::string run_html = html_text(run_sources, kDate);
  nlohmann::json run_page = expected_page("report.html", run_sources);
  run_page["first_table"] = "results";
  expected["pages"].push_back(run_page);

  // A comparison, as `compare --export-html` makes it, of files read back.
  const ComparedFile baseline{"base.json", SavedExport{2, "truvello", series}};
  const std::vector<ComparedFile> candidates{
      {"<img src=x onerror=alert(2)>.json",
       SavedExport{2, "truvello", testing::series_invocation("Test CPU", {27.0e6, 27.3e6, 26.8e6, 27.1e6})}}};
  const ComparisonResult compared = compare_exports(baseline, candidates);
  if (!compared.comparison) {
    std::fprintf(stderr, "write_sample_report: %s\n", compared.error.c_str());
    return 1;
  }
  const InvocationView baseline_view = view_of(baseline.saved.invocation);
  const InvocationView candidate_view = view_of(candidates[0].saved.invocation);
  const std::vector<ReportSource> compare_sources{{baseline.name, &baseline_view},
                                                  {candidates[0].name, &candidate_view}};
  const std::string compare_html = html_text(compare_sources, kDate, &*compared.comparison);
  nlohmann::json compare_page = expected_page("compare.html", compare_sources);
  compare_page["first_table"] = "comparison";
  for (const ComparisonRow& row : compared.comparison->rows)
    compare_page["verdicts"].push_back(verdict_text(row.verdict));
  expected["pages"].push_back(compare_page);

  // An A/B series, as `ab --export-html` makes it: its verdict in its table,
  // each pair's ratio a point, the pair that stood out marked.
  const Invocation ab = ab_series(run.machine);
  const InvocationView ab_view = view_of(ab);
  const std::string ab_html = ab_html_text(ab_view, kDate);
  nlohmann::json ab_page = expected_other_page("ab.html", "ab");
  ab_page["texts"] = {ab.ab->label_a, ab.ab->label_b, ab.machine.os_kernel};
  ab_page["verdicts"].push_back(ab_verdict_text(ab_view));
  ab_page["series"] = {{{"points", ab.runs.size() / 2}, {"disturbed", 1}}};
  expected["pages"].push_back(ab_page);

  // A fleet: one chart per benchmark of the group, the slow machine named
  // in each.
  const std::vector<FleetRecord> records = fleet_records();
  const FleetView fleet = fleet_view(records);
  const std::string fleet_page_html = fleet_html(fleet, 0, kDate);
  nlohmann::json fleet_page = expected_other_page("fleet.html", "fleet");
  fleet_page["texts"].push_back(records.front().cpu_model);
  for (const FleetGroup& g : fleet.groups) {
    for (const FleetBenchmark& b : g.benchmarks) {
      std::size_t named = 0;
      for (const FleetMachine& m : b.machines) {
        if (m.verdict == FleetVerdict::kPeer) continue;
        ++named;
        fleet_page["texts"].push_back(m.record->machine_name() + ": " + rate_text(*m.score->score));
        fleet_page["texts"].push_back(fleet_verdict_text(m));
      }
      fleet_page["series"].push_back({{"points", b.machines.size()}, {"disturbed", named}});
    }
  }
  expected["pages"].push_back(fleet_page);

  return write_file(dir + "/report.html", run_html) && write_file(dir + "/compare.html", compare_html) &&
                 write_file(dir + "/ab.html", ab_html) && write_file(dir + "/fleet.html", fleet_page_html) &&
                 write_file(dir + "/expected.json", expected.dump(2) + "\n")
             ? 0
             : 1;
}
