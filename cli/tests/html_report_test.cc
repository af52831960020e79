#include "output/html_report.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "report_samples.h"
#include "statistics/comparison.h"
#include "statistics/scaling.h"
#include "statistics/warnings.h"
#include "text/html_text.h"
#include "text/units.h"

namespace truvello::cli {
namespace {

using testing::default_invocation;
using testing::one_second_samples;
using testing::series_invocation;

constexpr const char* kHostile = "<script>alert(1)</script>";

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + what.size())) ++n;
  return n;
}

// The inline SVG charts of a document, in order.
std::vector<std::string> charts(const std::string& html) {
  std::vector<std::string> out;
  for (std::size_t pos = html.find("<svg class=\"chart\""); pos != std::string::npos;
       pos = html.find("<svg class=\"chart\"", pos + 1)) {
    out.push_back(html.substr(pos, html.find("</svg>", pos) - pos));
  }
  return out;
}

// The score charts of a document, in order.
std::vector<std::string> score_charts(const std::string& html) {
  std::vector<std::string> out;
  for (std::size_t pos = html.find("<svg class=\"chart series\""); pos != std::string::npos;
       pos = html.find("<svg class=\"chart series\"", pos + 1)) {
    out.push_back(html.substr(pos, html.find("</svg>", pos) - pos));
  }
  return out;
}

std::string render(const Invocation& inv, std::string label = "") {
  const InvocationView view = view_of(inv);
  const ReportSource source{std::move(label), &view};
  return html_text({&source, 1}, "2026-01-02 03:04 UTC");
}

TEST(HtmlEscape, EveryCharacterThatCouldEndTextOrAnAttribute) {
  EXPECT_EQ(html_escape(kHostile), "&lt;script&gt;alert(1)&lt;/script&gt;");
  EXPECT_EQ(html_escape("a&b \"c\" 'd'"), "a&amp;b &quot;c&quot; &#39;d&#39;");
  EXPECT_EQ(html_escape("\u00B5s plain"), "\u00B5s plain");
}

TEST(HtmlReport, OutsideTextShowsAsTextNeverAsMarkup) {
  Invocation inv = default_invocation(kHostile);
  inv.runs[1].status = TRUVELLO_STATUS_FAILED;
  inv.runs[1].result->status = TRUVELLO_STATUS_FAILED;
  inv.runs[1].reason = "could not <start> \"thread\" & 'friends'";
  const std::string html = render(inv, "<img src=x onerror=alert(2)>.json");

  EXPECT_EQ(count(html, "<script"), 0u);
  EXPECT_EQ(count(html, "<img"), 0u);
  EXPECT_EQ(count(html, "<b>"), 0u) << "the kernel text carries markup";
  EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(html.find("&lt;img src=x onerror=alert(2)&gt;.json"), std::string::npos);
  EXPECT_NE(html.find("failed: could not &lt;start&gt; &quot;thread&quot; &amp; &#39;friends&#39;"), std::string::npos);
  EXPECT_NE(html.find("#1 SMP &lt;b&gt;PREEMPT&lt;/b&gt; &amp; &quot;friends&quot;"), std::string::npos);
}

TEST(HtmlReport, SelfContainedWithEveryFigureAndWarningOfADefaultRun) {
  const Invocation inv = default_invocation("Test CPU @ 3.0GHz");
  const std::string html = render(inv);

  // Nothing is fetched: a policy forbidding it, and no address to fetch.
  EXPECT_NE(html.find("http-equiv=\"Content-Security-Policy\" content=\"default-src 'none';"), std::string::npos);
  EXPECT_EQ(count(html, "http:"), 0u);
  EXPECT_EQ(count(html, "https:"), 0u);
  EXPECT_EQ(count(html, "url("), 0u);
  EXPECT_EQ(count(html, "@import"), 0u);
  EXPECT_EQ(count(html, "<script"), 0u);
  // Reader's colours, a phone, paper.
  EXPECT_NE(html.find("prefers-color-scheme:dark"), std::string::npos);
  EXPECT_NE(html.find("name=\"viewport\""), std::string::npos);
  EXPECT_NE(html.find("@page{size:A4"), std::string::npos);

  // One chart per benchmark, each titled and described for screen readers,
  // one stepped line and one mean per run.
  ASSERT_EQ(charts(html).size(), 2u);
  for (const std::string& chart : charts(html)) {
    EXPECT_EQ(count(chart, "<title id=\"chart-"), 1u);
    EXPECT_EQ(count(chart, "<desc id=\"chart-"), 1u);
    EXPECT_EQ(count(chart, "<path class=\"rate\""), 1u);
    EXPECT_EQ(count(chart, "<line class=\"mean\""), 1u);
    EXPECT_EQ(count(chart, "<rect class=\"band\""), 1u);
    EXPECT_EQ(count(chart, "<rect class=\"third\""), 2u);
  }
  EXPECT_EQ(count(html, "nan"), 0u);
  EXPECT_EQ(count(html, "inf"), 0u);

  for (const RunOutcome& run : inv.runs) {
    EXPECT_NE(html.find(rate_text(run.result->mean_rate)), std::string::npos);
    EXPECT_NE(html.find(percent_text(run.result->cv_percent) + " CV"), std::string::npos);
    // Worded as the terminal words them, every one of them.
    for (const Warning& w : run_warnings(run, inv.machine)) {
      EXPECT_NE(html.find(html_escape(w.message)), std::string::npos) << w.code;
    }
  }
  EXPECT_EQ(count(html, "data-code=\"drift\""), 1u) << "the sagging all-CPU run";
  EXPECT_EQ(count(html, "data-code=\"hypervisor\""), 1u) << "machine-wide warnings once";
  const auto figures = scaling(inv);
  ASSERT_TRUE(figures);
  EXPECT_NE(html.find("Efficiency " + percent_text(figures->efficiency * 100.0)), std::string::npos);

  // The exact samples, collapsed: 61 rows per run.
  EXPECT_EQ(count(html, "<details>"), 2u);
  EXPECT_EQ(count(html, "<details open"), 0u);
  EXPECT_NE(html.find("<td class=\"num\">" + exact_number(inv.runs[0].samples[0].rate) + "</td>"), std::string::npos);

  // Small enough to attach anywhere.
  EXPECT_LT(html.size(), 200u * 1024u);
  RecordProperty("default_run_bytes", static_cast<int>(html.size()));
}

TEST(HtmlReport, ComparisonAndRepeatsDrawEveryRunAsALineOfItsOwn) {
  const Invocation baseline = default_invocation("Test CPU");
  Invocation candidate = default_invocation("Test CPU");
  candidate.runs.push_back(testing::default_length_run(TRUVELLO_BENCHMARK_SINGLE, 1, 33.0e6, 0.0));
  const InvocationView views[] = {view_of(baseline), view_of(candidate)};
  const ReportSource sources[] = {{"base.json", &views[0]}, {"new.json", &views[1]}};
  const std::string html = html_text(sources, "today");

  const std::vector<std::string> drawn = charts(html);
  ASSERT_EQ(drawn.size(), 2u) << "still one chart per benchmark";
  EXPECT_EQ(count(drawn[0], "<path class=\"rate\""), 3u) << "the baseline's and the candidate's two";
  EXPECT_EQ(count(drawn[1], "<path class=\"rate\""), 2u);
  EXPECT_NE(html.find("<svg class=\"key s2 d2\""), std::string::npos) << "third line: own colour, own dash";
  EXPECT_NE(html.find(">new.json, run 2</td>"), std::string::npos);
  EXPECT_EQ(count(html, "data-label=\"Change\""), 0u) << "the comparison's table tells the change";
  EXPECT_EQ(count(html, "data-code=\"hypervisor\""), 2u) << "once per machine";
}

TEST(HtmlReport, ComparisonLeadsWithTheVerdictInWords) {
  constexpr const char* kHostileFile = "<img src=x onerror=alert(2)>.json";
  const Invocation baseline = series_invocation("Test CPU", testing::kSeriesWithASlowRun);
  const Invocation candidate = series_invocation("Test CPU", {27.0e6, 27.2e6, 26.9e6});
  Comparison comparison;
  comparison.baseline = "base.json";
  comparison.candidates = {kHostileFile};
  ComparisonRow row;
  row.candidate = kHostileFile;
  row.baseline = Side{30.05e6, 4, {}, std::nullopt};
  row.candidate_side = Side{27.03e6, 3, {}, std::nullopt};
  row.ratio = 0.9;
  row.interval = RatioInterval{0.9, 0.88, 0.92, Verdict::kSlower};
  row.verdict = Verdict::kSlower;
  row.method = Method::kRunScores;
  comparison.rows = {row};
  comparison.notes = {"base.json: the single worker run 4 was <disturbed>."};
  const InvocationView views[] = {view_of(baseline), view_of(candidate)};
  const ReportSource sources[] = {{"base.json", &views[0]}, {kHostileFile, &views[1]}};
  const std::string html = html_text(sources, "today", &comparison);

  const std::size_t table = html.find("<table");
  EXPECT_LT(html.find("</header>"), html.find("<section id=\"comparison\">"));
  EXPECT_LT(html.find("<section id=\"comparison\">"), table);
  EXPECT_LT(table, html.find("<section class=\"benchmark\""));
  EXPECT_LT(html.find("<section class=\"benchmark\""), html.find("<section id=\"machine\">"));
  const std::string first_table = html.substr(table, html.find("</table>", table) - table);
  EXPECT_NE(first_table.find("class=\"results comparison\""), std::string::npos);
  EXPECT_NE(first_table.find("class=\"verdict-slower\">slower</td>"), std::string::npos) << "a word, not a colour";
  EXPECT_NE(first_table.find(">0.900 (-10.0 %)</td>"), std::string::npos);
  EXPECT_NE(first_table.find(">0.880 - 0.920</td>"), std::string::npos);
  EXPECT_NE(first_table.find(">run scores</td>"), std::string::npos);
  EXPECT_NE(html.find("<li>base.json: the single worker run 4 was &lt;disturbed&gt;.</li>"), std::string::npos);
  EXPECT_EQ(count(html, "<img"), 0u);
  EXPECT_EQ(count(html, "<disturbed"), 0u);
  const std::vector<std::string> scores = score_charts(html);
  ASSERT_EQ(scores.size(), 1u);
  EXPECT_NE(scores[0].find("&gt;.json</text>"), std::string::npos) << "the file under its runs, escaped";
}

// Which benchmarks get a chart of their run scores, and what it holds.
TEST(HtmlReport, ScoreChartsShowEveryCompletedRunAndMarkTheDisturbedOnes) {
  const Invocation one = testing::default_invocation("Test CPU");
  const Invocation series = series_invocation("Test CPU", testing::kSeriesWithASlowRun);
  Invocation with_failure = series_invocation("Test CPU", {30.0e6, 30.2e6, 29.9e6});
  with_failure.runs[1].status = TRUVELLO_STATUS_FAILED;
  with_failure.runs[1].result->status = TRUVELLO_STATUS_FAILED;
  const InvocationView view_one = view_of(one), view_series = view_of(series), view_failure = view_of(with_failure);
  const struct {
    const char* name;
    std::vector<ReportSource> sources;
    std::size_t charts;
    std::size_t points;  // over all charts
    std::size_t disturbed;
  } cases[] = {
      {"one run per benchmark: no score chart", {{"", &view_one}}, 0, 0, 0},
      {"a series with a slow run", {{"", &view_series}}, 1, 5, 1},
      {"a failed run is no point", {{"", &view_failure}}, 1, 2, 0},
      {"compared single runs: a chart per benchmark", {{"a.json", &view_one}, {"b.json", &view_one}}, 2, 4, 0},
      {"a series against single runs", {{"a.json", &view_series}, {"b.json", &view_one}}, 2, 7, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string html = html_text(c.sources, "today");
    const std::vector<std::string> drawn = score_charts(html);
    ASSERT_EQ(drawn.size(), c.charts);
    std::size_t points = 0, disturbed = 0;
    for (const std::string& chart : drawn) {
      points += count(chart, "class=\"point");
      disturbed += count(chart, "class=\"point disturbed\"");
      EXPECT_EQ(count(chart, "<title id=\"series-"), 1u);
      EXPECT_GE(count(chart, "<line class=\"score\""), 1u);
    }
    EXPECT_EQ(points, c.points);
    EXPECT_EQ(disturbed, c.disturbed);
    EXPECT_EQ(count(html, "class=\"disturbed-label\""), c.disturbed);
    EXPECT_EQ(count(html, "nan"), 0u);
    if (c.disturbed > 0) {
      EXPECT_NE(html.find(">run 4: 24.1 % below</text>"), std::string::npos);
      EXPECT_NE(html.find("Run 4 was disturbed: 24.1 % below the series&#39; score."), std::string::npos);
    }
  }
}

TEST(HtmlReport, RunsWithoutUsableSamplesStillRender) {
  Invocation inv;
  inv.machine.online_cpus = 2;
  RunOutcome failed;
  failed.config = truvello_config{TRUVELLO_ABI_VERSION, 32, TRUVELLO_BENCHMARK_SINGLE, 0, 1.0, 1.0};
  failed.status = TRUVELLO_STATUS_FAILED;
  failed.reason = "cannot start a worker thread";
  inv.runs.push_back(failed);
  RunOutcome odd = failed;
  odd.config.benchmark = TRUVELLO_BENCHMARK_ALL_CPUS;
  odd.status = TRUVELLO_STATUS_CANCELLED;
  odd.reason = "cancelled";
  odd.samples = one_second_samples({1e12, 2e12});
  odd.samples.push_back({3.0, 1.0, 0, std::numeric_limits<double>::quiet_NaN()});
  inv.runs.push_back(odd);
  const std::string html = render(inv);

  const std::vector<std::string> drawn = charts(html);
  ASSERT_EQ(drawn.size(), 2u);
  EXPECT_NE(drawn[0].find(">no samples</text>"), std::string::npos);
  EXPECT_EQ(drawn[1].find(">no samples</text>"), std::string::npos);
  EXPECT_NE(html.find("failed: cannot start a worker thread"), std::string::npos);
  EXPECT_EQ(count(html, "nan"), 0u);
  EXPECT_EQ(count(html, "inf"), 0u);
  EXPECT_NE(html.find(" T</text>"), std::string::npos) << "tera rates keep a readable axis";
}

}  // namespace
}  // namespace truvello::cli
