#include "output/html_report.h"

#include <vector>

#include "output/benchmark_section.h"
#include "output/comparison_section.h"
#include "output/html_page.h"
#include "output/machine_section.h"
#include "output/report_phrases.h"
#include "statistics/comparison.h"
#include "text/html_text.h"
#include "text/units.h"

namespace truvello::cli {

namespace {

std::string header(std::span<const ReportSource> sources, std::string_view date) {
  std::string out = "<header>\n<h1>truvello report</h1>\n<p class=\"meta\">" + html_escape(date) + "</p>\n";
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const Invocation& inv = sources[i].view->source();
    const std::string name = source_name(sources, i);
    const std::string prefix = name.empty() ? "" : "<strong>" + html_escape(name) + "</strong>: ";
    out += "<p class=\"meta\">" + prefix + "truvello " + html_escape(inv.command_version) + " \u00B7 library " +
           html_escape(inv.library_version) + " (interface " + std::to_string(inv.abi_version) + ")</p>\n";
    out += "<p class=\"machine-line\">" + html_escape(machine_line(inv.machine, " \u00B7 ")) + "</p>\n";
  }
  return out + "</header>\n";
}

std::string scaling_section(std::span<const ReportSource> sources) {
  std::string items;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const auto& s = sources[i].view->scaling;
    if (!s) continue;
    const std::string name = source_name(sources, i);
    items += "<p>" + (name.empty() ? std::string() : "<strong>" + html_escape(name) + ":</strong> ") + "Efficiency " +
             percent_text(s->efficiency * 100.0) + " (" + scaling_sentence(*s, "\u00D7") + ")</p>\n";
  }
  if (items.empty()) return "";
  return "<section id=\"scaling\">\n<h2>Scaling</h2>\n" + items + "</section>\n";
}

// How to read the figures, saying only what the page shows.
std::string footer(bool scores_shown, bool comparison) {
  std::string out =
      "Rates are operations per second, one operation being one step of the workload kernel. Variation is the "
      "time-weighted coefficient of variation of the per-second rate; drift compares the first and the last third "
      "of the window.";
  if (scores_shown) {
    out +=
        " A series' score is the geometric mean of its runs' scores, leaving out disturbed runs: those that stand "
        "far from the others' median, as when the machine was busy with something else for a while.";
  }
  if (comparison) {
    out +=
        " The ratio is the candidate's score over the baseline's; the verdict is faster or slower only when its "
        "95 % interval lies wholly above or below 1. Method run scores: the interval rests on the spread of each "
        "side's run scores; batch means: on the spread within the single run of each side; mixed: one of each.";
  }
  return out;
}

}  // namespace

std::string html_text(std::span<const ReportSource> sources_in, std::string_view date, const Comparison* comparison) {
  std::vector<ReportSource> sources;
  for (const ReportSource& s : sources_in) {
    if (s.view != nullptr) sources.push_back(s);
  }
  std::string main;
  if (comparison != nullptr) main += comparison_section(*comparison);
  const bool comparing = comparison != nullptr || sources.size() > 1;
  std::vector<MachineWideWarnings> machine_wide(sources.size());
  bool scores_shown = false;
  const std::vector<std::uint32_t> benchmarks = benchmarks_in_order(sources);
  for (std::uint32_t benchmark : benchmarks) {
    const BenchmarkSection section = benchmark_section(sources, benchmark, comparing, machine_wide);
    main += section.html;
    scores_shown = scores_shown || section.scores_shown;
  }
  if (benchmarks.empty()) main += "<p>No run to show.</p>\n";
  main += scaling_section(sources);
  main += machine_section(sources, machine_wide);
  return html_page("truvello report \u00B7 " + std::string(date),
                   report_body(header(sources, date), main, footer(scores_shown, comparison != nullptr)));
}

std::string report_date(std::time_t when) {
  std::tm utc{};
  char date[32] = "unknown date";
  if (gmtime_r(&when, &utc) != nullptr) std::strftime(date, sizeof date, "%Y-%m-%d %H:%M UTC", &utc);
  return date;
}

}  // namespace truvello::cli
