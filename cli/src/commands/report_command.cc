#include "commands/report_command.h"

#include "commands/ab_side.h"
#include "commands/export_file.h"
#include "document/export_reader.h"
#include "output/ab_report.h"
#include "output/html_report.h"
#include "output/prometheus_text.h"
#include "output/summary.h"

namespace truvello::cli {

CommandOutput report_command(const ReportOptions& options, Glyphs glyphs) {
  CommandOutput output;
  const ExportRead read = read_export_or_side(options.file);
  if (!read.saved) {
    output.exit_code = kExitFailed;
    output.err = "truvello: " + read.error + "\n";
    return output;
  }
  const Invocation& invocation = read.saved->invocation;
  const InvocationView view = view_of(invocation);
  // An A/B series is shown as one, judged by its pairs.
  output.out = invocation.ab ? ab_summary_text(view) : summary_text(view, glyphs);
  if (!options.export_html.empty()) {
    const ReportSource source{"", &view};
    const std::string date = report_date(std::time(nullptr));
    output.err =
        write_export(options.export_html, invocation.ab ? ab_html_text(view, date) : html_text({&source, 1}, date));
    if (!output.err.empty()) output.exit_code = kExitFailed;
  }
  if (!options.export_prometheus.empty()) {
    const std::string failure =
        write_export(options.export_prometheus, prometheus_text(view), ExportFile::Replace::kAtomically);
    if (!failure.empty()) {
      output.err += failure;
      output.exit_code = kExitFailed;
    }
  }
  return output;
}

}  // namespace truvello::cli
