#include "output/prometheus_text.h"

#include <fmt/format.h>

#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace truvello::cli {

namespace {

// One family: its samples, each a label set and a value, written only when
// it has a sample, so that no HELP stands without a figure under it.
class Family {
 public:
  Family(const char* name, const char* help) : name_(name), help_(help) {}

  void add(const std::vector<std::pair<std::string, std::string>>& labels, double value) {
    if (!std::isfinite(value)) return;  // the format has words for these, but no reader wants them
    std::string line = name_;
    if (!labels.empty()) {
      line += '{';
      for (std::size_t i = 0; i < labels.size(); ++i) {
        line += (i > 0 ? "," : "") + labels[i].first + "=\"" + prometheus_label_value(labels[i].second) + "\"";
      }
      line += '}';
    }
    lines_ += line + " " + fmt::format("{}", value) + "\n";
  }

  std::string text() const {
    if (lines_.empty()) return "";
    return "# HELP " + name_ + " " + help_ + "\n# TYPE " + name_ + " gauge\n" + lines_;
  }

 private:
  std::string name_;
  std::string help_;
  std::string lines_;
};

// How many bytes the UTF-8 sequence at `at` takes, or 0 when it is not one.
std::size_t utf8_length(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  std::uint32_t point = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2, point = lead & 0x1f;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3, point = lead & 0x0f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4, point = lead & 0x07;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xc0) != 0x80) return 0;
    point = point << 6 | (byte(at + i) & 0x3f);
  }
  // Overlong forms, surrogates and points past U+10FFFF are not UTF-8.
  if ((length == 3 && point < 0x800) || (length == 4 && (point < 0x10000 || point > 0x10ffff)) ||
      (point >= 0xd800 && point <= 0xdfff)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string prometheus_label_value(std::string_view outside_text) {
  static constexpr std::string_view kReplacement = "\xef\xbf\xbd";
  std::string out;
  for (std::size_t at = 0; at < outside_text.size();) {
    const char c = outside_text[at];
    const std::size_t length = utf8_length(outside_text, at);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '"') {
      out += "\\\"";
    } else if (c == '\n') {
      out += "\\n";
    } else if (length == 0 || (length == 1 && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f))) {
      out += kReplacement;
    } else {
      out.append(outside_text.substr(at, length));
    }
    at += length == 0 ? 1 : length;
  }
  return out;
}

std::string prometheus_text(const InvocationView& view) {
  const Invocation& invocation = view.source();
  const std::string& version = invocation.library_version;
  Family score("truvello_score_ops_per_second",
               "Workload operations per second: the run's mean rate, or the series' score for repeated runs.");
  Family capability(
      "truvello_capability_ops_per_second",
      "Operations per second the machine ran at between the host's slow spells: the median of the "
      "run's fast seconds, or the series' estimate over its runs'. Absent when too few seconds were fast.");
  Family variation("truvello_variation_percent",
                   "Coefficient of variation in percent: of the per-second rate for one run, of the run scores for "
                   "a series.");
  Family unstable("truvello_unstable", "1 when the library flagged a run of the benchmark unstable.");
  Family low("truvello_series_interval_low_ops_per_second", "Lower end of the series' 95 % interval of the score.");
  Family high("truvello_series_interval_high_ops_per_second", "Upper end of the series' 95 % interval of the score.");
  Family runs("truvello_series_runs", "Runs of the benchmark in this invocation.");
  Family disturbed("truvello_series_disturbed_runs", "Runs left out of the series' score as disturbed.");
  Family failed("truvello_run_failed", "1 when no run of the benchmark completed: no score is given for it.");
  Family efficiency("truvello_scaling_efficiency",
                    "All-CPU rate over workers times the single-worker rate; 1 is perfect scaling.");
  Family end("truvello_run_end_timestamp_seconds", "When the last run ended, in seconds since the Unix epoch.");
  Family warning("truvello_warning", "1 for each warning code any run carried.");
  Family info("truvello_machine_info", "The machine and library the figures come from; always 1.");

  std::set<std::string> codes;
  for (const std::uint32_t benchmark : {TRUVELLO_BENCHMARK_SINGLE, TRUVELLO_BENCHMARK_ALL_CPUS}) {
    const std::size_t count = invocation.run_count(benchmark);
    if (count == 0) continue;
    const std::vector<std::pair<std::string, std::string>> labels = {{"benchmark", BenchmarkKind{benchmark}.key()},
                                                                     {"version", version}};
    std::vector<const RunOutcome*> completed;
    for (const RunView& run : view.runs) {
      if (run.run->config.benchmark != benchmark) continue;
      if (run.run->completed()) completed.push_back(run.run);
      for (const Warning& w : run.warnings) codes.insert(w.code);
    }
    failed.add(labels, completed.empty() ? 1.0 : 0.0);
    if (completed.empty()) continue;
    bool flagged = false;
    for (const RunOutcome* run : completed) flagged = flagged || run->result->unstable != 0;
    unstable.add(labels, flagged ? 1.0 : 0.0);
    if (const SeriesView* series = view.series_of(benchmark); series && series->estimate) {
      const SeriesEstimate& e = *series->estimate;
      score.add(labels, e.score);
      if (const auto& c = series->capability.value) capability.add(labels, c->rate);
      if (series->spread) variation.add(labels, series->spread->cv_percent);
      if (e.low && e.high) {
        low.add(labels, *e.low);
        high.add(labels, *e.high);
      }
      runs.add(labels, static_cast<double>(series->runs));
      disturbed.add(labels, static_cast<double>(e.disturbed.size()));
    } else {
      const truvello_result_record& r = *completed.front()->result;
      score.add(labels, r.mean_rate);
      if (const auto& c = view.of(*completed.front()).capability.value) capability.add(labels, c->rate);
      if (r.cv_valid != 0) variation.add(labels, r.cv_percent);
    }
  }
  if (const auto& s = view.scaling) efficiency.add({{"version", version}}, s->efficiency);
  if (invocation.end_time) end.add({}, static_cast<double>(*invocation.end_time));
  for (const std::string& code : codes) warning.add({{"code", code}}, 1.0);
  const MachineContext& m = invocation.machine;
  std::vector<std::pair<std::string, std::string>> machine = {
      {"cpu_model", m.cpu_model.empty() ? "unknown" : m.cpu_model},
      {"cpus", std::to_string(m.online_cpus)},
      {"version", version}};
  if (!m.host_name.empty()) machine.emplace_back("host_name", m.host_name);
  if (!m.machine_id.empty()) machine.emplace_back("machine_id", m.machine_id);
  info.add(machine, 1.0);

  std::string out;
  for (const Family* f : {&score, &capability, &variation, &unstable, &low, &high, &runs, &disturbed, &failed,
                          &efficiency, &end, &warning, &info}) {
    out += f->text();
  }
  return out;
}

}  // namespace truvello::cli
