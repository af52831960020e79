// The A/B views of one series: the same figures and verdict in the terminal,
// Markdown and HTML, with a hostile label made safe for each.
#include "output/ab_report.h"

#include <gtest/gtest.h>

#include <string>

#include "report_samples.h"

namespace truvello::cli {
namespace {

// Six pairs in which B is about 10 % slower, the third far off the others.
Invocation slower_b(const std::string& label_b) {
  const double a[] = {100.0e6, 101.0e6, 99.0e6, 100.5e6, 100.0e6, 99.5e6};
  const double ratio[] = {0.90, 0.905, 0.60, 0.895, 0.90, 0.902};
  Invocation inv = testing::ab_series_of(a, ratio);
  inv.ab->label_b = label_b;
  return inv;
}

TEST(AbReport, EveryViewSaysTheVerdictAndMakesTheLabelSafe) {
  const Invocation series = slower_b("eco|<b>\x1b[2J");
  const InvocationView inv = view_of(series);
  EXPECT_EQ(ab_verdict_text(inv).rfind("B (eco|<b>\x1b[2J) is slower than A by 9.", 0), 0u) << ab_verdict_text(inv);

  const std::string text = ab_summary_text(inv);
  EXPECT_EQ(text.find('\x1b'), std::string::npos);
  for (const char* part : {"pairs used      5 of 6", "stood out       pair 3 (B / A 0.600)", "seed            42",
                           "in the order ABBABAABABBA"}) {
    EXPECT_NE(text.find(part), std::string::npos) << part << "\n" << text;
  }
  const std::string md = ab_markdown_text(inv);
  EXPECT_NE(md.find("eco\\|<b>\\x1b[2J"), std::string::npos) << md;
  const std::string html = ab_html_text(inv, "today");
  EXPECT_EQ(html.find("<b>"), std::string::npos);
  EXPECT_NE(html.find("eco|&lt;b&gt;"), std::string::npos);
  EXPECT_NE(html.find("class=\"point out\""), std::string::npos) << "the pair that stood out is marked";
  EXPECT_NE(html.find("class=\"band\""), std::string::npos);

  // One pair: a ratio but no interval, and the views say so.
  Invocation one_pair = series;
  one_pair.runs.resize(2);
  one_pair.ab->order = "AB";
  const InvocationView one = view_of(one_pair);
  EXPECT_EQ(ab_verdict_text(one), "no verdict: one pair gives no interval (run at least 2)");
  EXPECT_NE(ab_summary_text(one).find("(95 % interval n/a)"), std::string::npos);
}

}  // namespace
}  // namespace truvello::cli
