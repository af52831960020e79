// Arbitrary bytes against the reader of the command's JSON documents. The
// reader must refuse or accept without crashing, hanging or leaking; what it
// accepts must hold the promises the rest of the command builds on, must
// survive being written and read again unchanged, and compared with itself
// must come out the same, with a ratio of exactly 1.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "document/export_reader.h"
#include "document/json_report.h"
#include "output/comparison_report.h"
#include "output/summary.h"
#include "statistics/comparison.h"

namespace truvello::fuzz {
namespace {

using cli::ExportRead;
using cli::RunOutcome;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "export reader fuzzer: %s\n", what);
    std::abort();
  }
}

void check_accepted(const cli::SavedExport& saved) {
  check(saved.schema_version == 1 || saved.schema_version == 2, "schema version outside 1 and 2");
  for (const RunOutcome& run : saved.invocation.runs) {
    check(run.repeat >= 1, "repeat below 1");
    check(run.config.benchmark == TRUVELLO_BENCHMARK_SINGLE || run.config.benchmark == TRUVELLO_BENCHMARK_ALL_CPUS,
          "unknown benchmark accepted");
    for (const truvello_sample_record& s : run.samples) {
      check(std::isfinite(s.t) && s.t >= 0.0, "sample time not finite or negative");
      check(std::isfinite(s.dt) && s.dt > 0.0, "sample length not finite and positive");
      check(std::isfinite(s.rate) && s.rate >= 0.0, "sample rate not finite or negative");
    }
    if (run.completed()) {
      check(!run.samples.empty(), "completed run without samples");
      check(std::isfinite(run.result->mean_rate) && run.result->mean_rate > 0.0, "completed run without a score");
    }
    if (run.result) check(run.result->sample_count == run.samples.size(), "sample count disagrees");
  }
}

// What reaches a terminal carries no control character but line breaks,
// whatever the document held.
bool terminal_clean(const std::string& text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && c != '\n') || c == 0x7f) return false;
    if (c == 0xC2 && i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) return false;
  }
  return true;
}

void check_self_comparison(const cli::SavedExport& saved) {
  const cli::ComparedFile file{"fuzz.json", saved};
  const cli::ComparisonResult result = cli::compare_exports(file, {file});
  if (!result.comparison) {
    check(!result.error.empty(), "no comparison and no reason");
    return;
  }
  check(terminal_clean(cli::comparison_table(*result.comparison, false)), "control characters in the comparison");
  for (const cli::ComparisonRow& row : result.comparison->rows) {
    check(row.ratio == 1.0, "a document against itself has a ratio other than 1");
    check(row.verdict == cli::Verdict::kSame, "a document against itself is not the same");
    if (row.interval) {
      check(std::isfinite(row.interval->low) && std::isfinite(row.interval->high), "interval not finite");
      check(row.interval->low <= 1.0 && 1.0 <= row.interval->high, "interval of a self-comparison misses 1");
    }
  }
}

}  // namespace
}  // namespace truvello::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace truvello;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const cli::ExportRead read = cli::parse_export(text);
  if (!read.saved) {
    fuzz::check(!read.error.empty(), "refused without a reason");
    fuzz::check(read.error.find('\n') == std::string::npos, "reason longer than one line");
    return 0;
  }
  fuzz::check(read.error.empty(), "accepted with an error");
  fuzz::check_accepted(*read.saved);
  fuzz::check_self_comparison(*read.saved);
  fuzz::check(fuzz::terminal_clean(cli::summary_text(cli::view_of(read.saved->invocation), cli::Glyphs::kBlocks)),
              "control characters in the summary");
  // Written again, the document must read back as itself.
  const std::string again = cli::json_text(cli::view_of(read.saved->invocation));
  const cli::ExportRead reread = cli::parse_export(again);
  fuzz::check(reread.saved.has_value(), "the reader refuses what the writer wrote from an accepted document");
  fuzz::check(cli::json_text(cli::view_of(reread.saved->invocation)) == again, "a document changed on its way back");
  return 0;
}
