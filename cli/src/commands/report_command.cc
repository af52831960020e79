#include "commands/report_command.h"

#include "commands/atomic_file.h"
#include "document/export_reader.h"
#include "output/html_report.h"
#include "output/prometheus_text.h"
#include "output/summary.h"

namespace truvello::cli {

CommandOutput report_command(const ReportOptions& options, Glyphs glyphs) {
  CommandOutput output;
  const ExportRead read = read_export(options.file);
  if (!read.saved) {
    output.exit_code = kExitFailed;
    output.err = "truvello: " + read.error + "\n";
    return output;
  }
  output.out = summary_text(read.saved->invocation, glyphs);
  if (!options.export_html.empty()) {
    const ReportSource source{"", &read.saved->invocation};
    output.err = write_file(options.export_html, html_text({&source, 1}, report_date(std::time(nullptr))));
    if (!output.err.empty()) output.exit_code = kExitFailed;
  }
  if (!options.export_prometheus.empty()) {
    const std::string failure =
        write_file_atomically(options.export_prometheus, prometheus_text(read.saved->invocation));
    if (!failure.empty()) {
      output.err += failure;
      output.exit_code = kExitFailed;
    }
  }
  return output;
}

}  // namespace truvello::cli
