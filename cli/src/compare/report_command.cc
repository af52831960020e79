#include "compare/report_command.h"

#include "compare/export_reader.h"
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
  return output;
}

}  // namespace truvello::cli
