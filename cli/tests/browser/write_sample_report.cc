// Writes two HTML reports of made-up runs, whose CPU model, kernel text and
// file names are markup, and beside them what a reader must find in them:
// the browser test opens each and checks it against the other.
//
//   report.html   a run of both benchmarks, the single-worker one a series
//                 of five runs, one of them slowed by a busy machine
//   compare.html  that series against a candidate's four runs, 10 % slower
//
//   write_sample_report DIR   writes both and DIR/expected.json

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "output/comparison_report.h"
#include "output/html_report.h"
#include "report_samples.h"
#include "statistics/comparison.h"
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

  return write_file(dir + "/report.html", run_html) && write_file(dir + "/compare.html", compare_html) &&
                 write_file(dir + "/expected.json", expected.dump(2) + "\n")
             ? 0
             : 1;
}
