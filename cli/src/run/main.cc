// The truvello command: runs the library's benchmarks from a terminal, shows
// progress while they last, and reports, explains and exports the results.

#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "compare/command_output.h"
#include "compare/compare_command.h"
#include "compare/report_command.h"
#include "machine/machine_probe.h"
#include "options/invocation.h"
#include "options/options.h"
#include "output/csv_report.h"
#include "output/html_report.h"
#include "output/json_report.h"
#include "output/markdown_report.h"
#include "output/summary.h"
#include "progress/sparkline.h"
#include "run/benchmark_session.h"
#include "run/progress_display.h"
#include "run/signal_watch.h"
#include "truvello.h"

#ifndef TRUVELLO_COMMAND_VERSION
#define TRUVELLO_COMMAND_VERSION "unknown"
#endif

namespace truvello::cli {
namespace {

// An export file, opened before the runs so that a mistyped path fails at
// once instead of after minutes of measuring.
struct Export {
  std::string path;
  std::string (*render)(const Invocation&);
  std::ofstream stream;
};

std::string render_json(const Invocation& inv) { return json_text(inv); }
std::string render_csv(const Invocation& inv) { return csv_text(inv); }
std::string render_markdown(const Invocation& inv) { return markdown_text(inv); }
std::string render_html(const Invocation& inv) {
  const ReportSource source{"", &inv};
  return html_text({&source, 1}, report_date(std::time(nullptr)));
}

bool open_exports(const Options& options, std::vector<Export>& exports) {
  const struct {
    const std::string& path;
    std::string (*render)(const Invocation&);
  } wanted[] = {{options.export_json, render_json},
                {options.export_csv, render_csv},
                {options.export_markdown, render_markdown},
                {options.export_html, render_html}};
  for (const auto& w : wanted) {
    if (w.path.empty()) continue;
    Export e{w.path, w.render, std::ofstream(w.path, std::ios::out | std::ios::trunc)};
    if (!e.stream) {
      std::fprintf(stderr, "truvello: cannot write %s: %s\n", w.path.c_str(), std::strerror(errno));
      return false;
    }
    exports.push_back(std::move(e));
  }
  return true;
}

bool write_exports(std::vector<Export>& exports, const Invocation& invocation) {
  bool ok = true;
  for (Export& e : exports) {
    e.stream << e.render(invocation);
    e.stream.close();
    if (!e.stream) {
      std::fprintf(stderr, "truvello: writing %s failed\n", e.path.c_str());
      ok = false;
    }
  }
  return ok;
}

ProgressDisplay::Mode progress_mode(const Options& options) {
  if (options.quiet) return ProgressDisplay::Mode::kOff;
  return isatty(STDERR_FILENO) ? ProgressDisplay::Mode::kBar : ProgressDisplay::Mode::kLines;
}

// The 1-based place of configs[i] among the runs of its benchmark.
std::uint32_t series_position(const std::vector<truvello_config>& configs, std::size_t i) {
  std::uint32_t position = 0;
  for (std::size_t j = 0; j <= i; ++j) position += configs[j].benchmark == configs[i].benchmark ? 1 : 0;
  return position;
}

int run(const Options& options) {
  const Glyphs glyphs = is_utf8_codeset(nl_langinfo(CODESET)) ? Glyphs::kBlocks : Glyphs::kAscii;

  std::vector<Export> exports;
  if (!open_exports(options, exports)) return kExitFailed;

  truvello_config defaults{};
  truvello_default_config(&defaults);
  const std::vector<truvello_config> configs = options.configs(defaults);

  Invocation invocation;
  invocation.command_version = TRUVELLO_COMMAND_VERSION;
  invocation.library_version = truvello_version();
  invocation.abi_version = truvello_abi_version();
  invocation.machine = probe_machine();

  std::vector<double> planned;
  for (const truvello_config& c : configs) planned.push_back(c.warmup_seconds + c.measurement_seconds);
  ProgressDisplay progress(progress_mode(options), stderr, STDERR_FILENO, glyphs, planned);

  bool failed = false;
  {
    SignalWatch signals;
    for (std::size_t i = 0; i < configs.size() && SignalWatch::received() == 0; ++i) {
      progress.begin_run(i, BenchmarkKind{configs[i].benchmark});
      invocation.runs.push_back(run_benchmark(configs[i], signals, progress));
      RunOutcome& run = invocation.runs.back();
      run.repeat = series_position(configs, i);
      if (run.status == TRUVELLO_STATUS_FAILED) {
        std::fprintf(stderr, "truvello: benchmark %u failed: %s\n", static_cast<unsigned>(run.config.benchmark),
                     run.reason.c_str());
        failed = true;
        break;  // the next run would most likely fail the same way
      }
    }
  }
  // From here on a second Ctrl-C ends the process at once; what follows only
  // prints and writes files.
  const int signal = SignalWatch::received();

  const std::string report = options.json ? json_text(invocation) : summary_text(invocation, glyphs);
  std::fputs(report.c_str(), stdout);
  std::fflush(stdout);
  if (!write_exports(exports, invocation)) failed = true;

  if (signal != 0) return 128 + signal;
  return failed ? kExitFailed : kExitOk;
}

// Colour only on a terminal, and never when NO_COLOR is set (to anything but
// the empty string, which counts as unset).
bool colour_wanted() {
  const char* no_colour = std::getenv("NO_COLOR");
  return isatty(STDOUT_FILENO) && (no_colour == nullptr || *no_colour == '\0');
}

}  // namespace
}  // namespace truvello::cli

int main(int argc, char** argv) {
  using namespace truvello::cli;
  std::setlocale(LC_ALL, "");
  const ParsedCommandLine parsed = parse_command_line(std::vector<std::string>(argv + 1, argv + argc));
  std::fputs(parsed.out.c_str(), stdout);
  std::fputs(parsed.err.c_str(), stderr);
  if (parsed.report || parsed.compare) {
    const Glyphs glyphs = is_utf8_codeset(nl_langinfo(CODESET)) ? Glyphs::kBlocks : Glyphs::kAscii;
    CommandOutput output;
    try {
      output =
          parsed.report ? report_command(*parsed.report, glyphs) : compare_command(*parsed.compare, colour_wanted());
    } catch (const std::exception& e) {
      output = CommandOutput{kExitFailed, "", std::string("truvello: ") + e.what() + "\n"};
    }
    std::fputs(output.out.c_str(), stdout);
    std::fputs(output.err.c_str(), stderr);
    return output.exit_code;
  }
  if (!parsed.options) return parsed.exit_code;
  if (parsed.options->version) {
    std::printf("truvello %s\nlibrary %s (interface %u)\n", TRUVELLO_COMMAND_VERSION, truvello_version(),
                static_cast<unsigned>(truvello_abi_version()));
    return kExitOk;
  }
  try {
    return run(*parsed.options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "truvello: %s\n", e.what());
    return kExitFailed;
  }
}
