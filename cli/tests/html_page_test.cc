// Every HTML page of the command is one frame: the same head, with the same
// content policy and style sheet, and outside text escaped wherever it lands,
// the title included.
#include "output/html_page.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/ab_report.h"
#include "output/fleet_report.h"
#include "output/html_report.h"
#include "report_samples.h"
#include "statistics/comparison.h"
#include "statistics/fleet_groups.h"

namespace truvello::cli {
namespace {

constexpr const char* kHostile = "<script>alert(1)</script>";
constexpr const char* kEscaped = "&lt;script&gt;alert(1)&lt;/script&gt;";

// What every page starts with, up to its title. Written out here rather than
// taken from the frame, so that a change to any page's head shows.
constexpr const char* kHead =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; style-src 'unsafe-inline'; "
    "img-src data:; base-uri 'none'; form-action 'none'\">\n"
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<meta name=\"color-scheme\" content=\"light dark\">\n<title>";

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
  return n;
}

// Two pairs, side B labelled with markup.
Invocation ab_series() {
  Invocation inv;
  AbRecord& ab = inv.ab.emplace();
  ab.label_b = kHostile;
  ab.order = "ABBA";
  for (const double rate : {100.0, 90.0, 91.0, 101.0}) {
    RunOutcome run;
    run.status = TRUVELLO_STATUS_COMPLETED;
    run.result.emplace();
    run.result->mean_rate = rate;
    inv.runs.push_back(run);
  }
  return inv;
}

// Four twins, one of them named with markup.
std::vector<FleetRecord> fleet_records() {
  std::vector<FleetRecord> out;
  for (const char* host : {"alpha", "beta", "gamma", "<b>evil</b>"}) {
    FleetRecord r;
    r.path = std::string(host) + ".json";
    r.host_name = host;
    r.cpu_model = "Test CPU";
    r.online_cpus = 8;
    r.library_version = "1.0.0";
    FleetScore score;
    score.score = 30.0e6 + 0.1e6 * static_cast<double>(out.size());
    score.runs = 1;
    r.scores.push_back(score);
    out.push_back(r);
  }
  return out;
}

TEST(HtmlPage, EveryPageHasTheSameHeadAndEscapesWhatComesFromOutside) {
  const Invocation run = testing::default_invocation(kHostile);
  const Invocation candidate = testing::default_invocation("Test CPU");
  const InvocationView run_view = view_of(run), candidate_view = view_of(candidate);
  const ReportSource one[] = {{"", &run_view}};
  const ReportSource compared[] = {{"base.json", &candidate_view}, {kHostile, &candidate_view}};
  Comparison comparison;
  comparison.baseline = "base.json";
  comparison.candidates = {kHostile};
  const Invocation ab_invocation = ab_series();
  const InvocationView ab = view_of(ab_invocation);
  const std::vector<FleetRecord> records = fleet_records();
  const FleetView fleet = fleet_view(records);

  // The date is printed as given, in the title too: a hostile one tests the
  // title's escaping on every page.
  const struct {
    const char* page;
    std::string html;
    std::string title;  // as it must read in the page's source
    std::string label;  // the outside text shown in the body, escaped
  } pages[] = {
      {"run", html_text(one, kHostile), std::string("truvello report \u00B7 ") + kEscaped, kEscaped},
      {"compare", html_text(compared, kHostile, &comparison), std::string("truvello report \u00B7 ") + kEscaped,
       std::string("<strong>") + kEscaped + "</strong>"},
      {"A/B", ab_html_text(ab, kHostile), std::string("truvello ab A / ") + kEscaped,
       std::string("B (") + kEscaped + ") is"},
      {"fleet", fleet_html(fleet, 0, kHostile), std::string("truvello fleet \u00B7 ") + kEscaped,
       "&lt;b&gt;evil&lt;/b&gt;: "},
      {"the frame itself", html_page(kHostile, "<p>body</p>\n"), kEscaped, "<p>body</p>"},
  };
  for (const auto& p : pages) {
    SCOPED_TRACE(p.page);
    EXPECT_EQ(p.html.rfind(kHead, 0), 0u) << p.html.substr(0, 600);
    EXPECT_EQ(count(p.html, "<meta http-equiv="), 1u);
    EXPECT_NE(p.html.find("<title>" + p.title + "</title>\n<style>"), std::string::npos);
    // The shared sheet, once, in the head; then the body and nothing after it.
    EXPECT_EQ(count(p.html, "<style>"), 1u);
    EXPECT_EQ(count(p.html, "prefers-color-scheme:dark"), 1u);
    EXPECT_LT(p.html.find("@page{size:A4"), p.html.find("</style>\n</head>\n<body>\n"));
    EXPECT_EQ(p.html.size() - p.html.rfind("</body>\n</html>\n"), std::string("</body>\n</html>\n").size());
    EXPECT_EQ(count(p.html, "<script"), 0u);
    EXPECT_EQ(count(p.html, "<b>"), 0u);
    EXPECT_NE(p.html.find(p.label), std::string::npos);
  }
}

}  // namespace
}  // namespace truvello::cli
