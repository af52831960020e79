#include "commands/export_set.h"

#include "text/terminal_text.h"

namespace truvello::cli {

std::string ExportSet::open(const Options& options, std::span<const ExportOffer> offers) {
  for (const ExportOffer& offer : offers) {
    const std::string& path = options.*offer.path;
    if (path.empty()) continue;
    Entry& entry = entries_.emplace_back(Entry{ExportFile(path, offer.replace), offer.render});
    if (!entry.file.failure().empty()) return entry.file.failure();
  }
  return "";
}

std::string ExportSet::write(const InvocationView& view) {
  std::string failures;
  for (Entry& entry : entries_) {
    const std::string failure = entry.file.write(entry.render(view));
    if (failure.empty()) continue;
    // A file opened in place was opened fine before the runs: it is the
    // writing that failed, and the line says so.
    failures += entry.file.replace() == ExportFile::Replace::kInPlace
                    ? "truvello: writing " + terminal_safe(entry.file.path()) + " failed\n"
                    : failure;
  }
  return failures;
}

}  // namespace truvello::cli
