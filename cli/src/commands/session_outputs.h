#pragma once

#include <span>
#include <string>

#include "commands/export_file.h"
#include "commands/options.h"
#include "progress/sparkline.h"
#include "statistics/invocation_view.h"

namespace truvello::cli {

// One text made of a finished invocation.
using ViewRender = std::string (*)(const InvocationView& view);

// One --export-* option of a command that measures: the option and its
// help, where the parsed path goes, how the file is replaced and what is
// written into it. The command line and the session both read it, so an
// export is offered and written from one line of a table.
struct ExportOffer {
  const char* option;
  const char* help;
  std::string Options::*path;
  ExportFile::Replace replace;
  ViewRender render;
};

// What a command that measures prints and writes once its runs are over.
struct SessionOutputs {
  std::string (*summary)(const InvocationView& view, Glyphs glyphs);  // on stdout, unless --json
  std::span<const ExportOffer> exports;                               // opened, and written, in this order
};

// The JSON document, on stdout under --json and in --export-json alike.
std::string document_json(const InvocationView& view);

// `truvello`: the run's summary, and JSON, CSV, Markdown, HTML and
// Prometheus exports.
const SessionOutputs& run_outputs();
// `truvello ab`: the paired verdict, and JSON, Markdown and HTML exports.
const SessionOutputs& ab_outputs();

}  // namespace truvello::cli
