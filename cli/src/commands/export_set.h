#pragma once

#include <span>
#include <string>
#include <vector>

#include "commands/export_file.h"
#include "commands/options.h"
#include "commands/session_outputs.h"
#include "statistics/invocation_view.h"

namespace truvello::cli {

// The export files of one command that measures, built from its options
// once: every one opened before the first run, so that a mistyped path
// fails before minutes of measuring (or before a setup touches the
// machine), and every one written from the same view after the last run.
class ExportSet {
 public:
  // Opens, in the offers' order, each export the options name. Stops at the
  // first that cannot be opened and returns its line; "" when all are open.
  std::string open(const Options& options, std::span<const ExportOffer> offers);

  // Renders and writes every open export. Returns "" or one line per file
  // that could not be written.
  std::string write(const InvocationView& view);

 private:
  struct Entry {
    ExportFile file;
    ViewRender render;
  };
  std::vector<Entry> entries_;
};

}  // namespace truvello::cli
