#include "document/export_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <utility>

#include "document/checked_field.h"
#include "document/document_file.h"
#include "machine/machine_identity.h"
#include "machine/machine_text.h"

namespace truvello::cli {

namespace {

using nlohmann::json;
using namespace document_check;

// Agreement of a figure with the figures it is derived from, allowing for
// the rounding of a shortest round-trip text of each.
bool agrees(double value, double expected) { return std::fabs(value - expected) <= 1e-6 * std::fabs(expected) + 1e-9; }

constexpr std::size_t kMaxRuns = 100000;
constexpr std::size_t kMaxSamples = 10000000;
constexpr std::size_t kMaxWarnings = 100;
constexpr std::size_t kMaxGovernors = 64;
constexpr std::size_t kMaxObservedWorkers = kCpuNumberLimit;  // one per CPU at most
constexpr std::size_t kMaxObservedName = 64;                  // thread names have 15 bytes

// A short name shown as it is (a thread name, a core type): printable ASCII
// only, so that a document cannot put control characters on a terminal.
std::string short_name(const Field& f, std::size_t max) {
  std::string text = f.text();
  const bool printable_only = std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c < 0x7f; });
  if (text.empty() || text.size() > max || !printable_only) {
    bad(f.pointer(), "must be 1 to " + std::to_string(max) + " printable ASCII characters");
  }
  return text;
}

WorkerObservation read_worker(const Field& f) {
  f.require_object();
  WorkerObservation w;
  w.name = short_name(f["name"], kMaxObservedName);
  w.window_seconds = non_negative(f["window_seconds"]);
  if (!(w.window_seconds > 0.0)) bad(f.pointer() + "/window_seconds", "must be greater than 0");
  w.cpu_seconds = non_negative(f["cpu_seconds"]);
  if (!agrees(non_negative(f["cpu_share"]), w.cpu_share())) {
    bad(f.pointer() + "/cpu_share", "disagrees with cpu_seconds / window_seconds");
  }
  if (const Field wait = f["wait_seconds"]; !wait.is_null()) w.wait_seconds = non_negative(wait);
  if (const Field switches = f["involuntary_switches"]; !switches.is_null()) w.involuntary_switches = switches.whole();
  const Field cpus = f["cpus"];
  const std::size_t n = cpus.array_size(kCpuNumberLimit);
  for (std::size_t i = 0; i < n; ++i) {
    const auto cpu = static_cast<unsigned>(cpus.at(i).whole(kCpuNumberLimit - 1));
    if (i > 0 && cpu <= w.cpus.back()) bad(cpus.at(i).pointer(), "must be greater than the CPU before it");
    w.cpus.push_back(cpu);
  }
  const Field types = f["core_types"];
  const std::size_t t = types.array_size(kCpuNumberLimit);
  if (t != 0 && t != n) bad(types.pointer(), "must be empty or name the core type of each CPU");
  for (std::size_t i = 0; i < t; ++i) w.core_types.push_back(short_name(types.at(i), kMaxObservedName));
  return w;
}

RunObservation read_observation(const Field& f) {
  f.require_object();
  RunObservation observation;
  const Field workers = f["workers"];
  const std::size_t n = workers.array_size(kMaxObservedWorkers);
  for (std::size_t i = 0; i < n; ++i) observation.workers.push_back(read_worker(workers.at(i)));
  return observation;
}

truvello_config read_config(const Field& f) {
  truvello_config c{};
  c.abi_version = f["abi_version"].u32();
  c.struct_size = f["struct_size"].u32();
  c.benchmark = f["benchmark"].u32();
  c.reserved = f["reserved"].u32();
  c.warmup_seconds = f["warmup_seconds"].number_or_null();
  c.measurement_seconds = f["measurement_seconds"].number_or_null();
  if (c.benchmark != TRUVELLO_BENCHMARK_SINGLE && c.benchmark != TRUVELLO_BENCHMARK_ALL_CPUS) {
    bad(f.pointer() + "/benchmark", "unknown benchmark " + std::to_string(c.benchmark));
  }
  return c;
}

truvello_result_record read_result(const Field& f) {
  truvello_result_record r{};
  r.abi_version = f["abi_version"].u32();
  r.status = f["status"].u32();
  r.benchmark = f["benchmark"].u32();
  r.workers = f["workers"].u32();
  r.mean_rate = f["mean_rate"].number_or_null();
  r.warmup_seconds = f["warmup_seconds"].number_or_null();
  r.measurement_seconds = f["measurement_seconds"].number_or_null();
  r.measured_seconds = f["measured_seconds"].number_or_null();
  r.cv_percent = f["cv_percent"].number_or_null();
  r.total_ops = f["total_ops"].whole();
  r.checksum = f["checksum"].whole();
  r.sample_count = f["sample_count"].whole();
  r.unstable = f["unstable"].flag();
  r.cv_valid = f["cv_valid"].flag();
  return r;
}

truvello_sample_record read_sample(const Field& f) {
  truvello_sample_record s{};
  s.t = f["t"].finite();
  s.dt = f["dt"].finite();
  s.ops = f["ops"].whole();
  s.rate = f["rate"].finite();
  if (s.t < 0.0) bad(f.pointer() + "/t", "must not be negative");
  if (!(s.dt > 0.0)) bad(f.pointer() + "/dt", s.dt < 0.0 ? "must not be negative" : "must be greater than 0");
  if (s.rate < 0.0) bad(f.pointer() + "/rate", "must not be negative");
  if (!agrees(s.rate, static_cast<double>(s.ops) / s.dt)) bad(f.pointer() + "/rate", "disagrees with ops / dt");
  return s;
}

// A completed run is what a score is taken from: its figures must be the
// ones the library computes from its samples.
void check_completed(const RunOutcome& run, const std::string& pointer) {
  const truvello_result_record& r = *run.result;
  if (run.samples.empty()) bad(pointer + "/samples", "a completed run has no samples");
  if (!(r.measured_seconds > 0.0) || !std::isfinite(r.measured_seconds)) {
    bad(pointer + "/result/measured_seconds", "must be a finite number greater than 0 for a completed run");
  }
  if (!(r.mean_rate > 0.0) || !std::isfinite(r.mean_rate)) {
    bad(pointer + "/result/mean_rate", "must be a finite number greater than 0 for a completed run");
  }
  std::uint64_t ops = 0;
  for (const truvello_sample_record& s : run.samples) {
    if (s.ops > std::numeric_limits<std::uint64_t>::max() - ops) bad(pointer + "/samples", "operations overflow");
    ops += s.ops;
  }
  if (ops != r.total_ops) bad(pointer + "/result/total_ops", "disagrees with the sum of the samples' ops");
  if (!agrees(r.mean_rate, static_cast<double>(r.total_ops) / r.measured_seconds)) {
    bad(pointer + "/result/mean_rate", "disagrees with total_ops / measured_seconds");
  }
}

// The capability beside a score, in a run's "derived" or a series' entry.
// Documents written before it have none. The figures are derived from the
// samples again when the document is shown; a document whose own are
// impossible (an interval that leaves out its capability) is refused all the
// same, as a sign of a hand-edited or damaged file.
void check_capability(const Field& f) {
  f.require_object();
  const auto capability = f.optional("capability");
  if (!capability) return;
  const Field low = f["capability_ci_low"];
  const Field high = f["capability_ci_high"];
  const Field share = f["spell_share"];
  const Field note = f["capability_note"];
  if (capability->is_null()) {
    for (const Field& figure : {low, high, share}) {
      if (!figure.is_null()) bad(figure.pointer(), "must be null without a capability");
    }
    if (note.text().empty()) bad(note.pointer(), "must say why there is no capability");
    return;
  }
  const double rate = capability->finite();
  if (!(rate > 0.0)) bad(capability->pointer(), "must be greater than 0");
  const double l = low.finite();
  if (!(l > 0.0) || l > rate) bad(low.pointer(), "must be greater than 0 and at most the capability");
  if (high.finite() < rate) bad(high.pointer(), "must be at least the capability");
  if (!share.is_null() && non_negative(share) >= 1.0) bad(share.pointer(), "must be less than 1");
  if (!note.is_null()) bad(note.pointer(), "must be null beside a capability");
}

RunOutcome read_run(const Field& f, int schema_version) {
  f.require_object();
  RunOutcome run;
  run.config = read_config(f["config"]);
  const std::string name = f["name"].text();
  if (name != run.kind().key()) {
    bad(f.pointer() + "/name",
        "\"" + printable(name) + "\" does not match config.benchmark " + std::to_string(run.config.benchmark));
  }
  if (schema_version >= 2) {
    run.repeat = f["repeat"].u32();
    if (run.repeat == 0) bad(f.pointer() + "/repeat", "must be at least 1");
  }
  run.status = f["status"].u32();
  if (run.status > TRUVELLO_STATUS_FAILED) bad(f.pointer() + "/status", "unknown status " + std::to_string(run.status));
  run.reason = f["reason"].text();

  const Field samples = f["samples"];
  const std::size_t count = samples.array_size(kMaxSamples);
  run.samples.reserve(count);
  for (std::size_t i = 0; i < count; ++i) run.samples.push_back(read_sample(samples.at(i)));

  const Field result = f["result"];
  if (!result.is_null()) {
    run.result = read_result(result);
    if (run.result->status != run.status) bad(result.pointer() + "/status", "disagrees with the run's status");
    if (run.result->benchmark != run.config.benchmark) {
      bad(result.pointer() + "/benchmark", "disagrees with config.benchmark");
    }
    if (run.result->sample_count != run.samples.size()) {
      bad(result.pointer() + "/sample_count", "disagrees with the number of samples");
    }
  } else if (run.status == TRUVELLO_STATUS_COMPLETED) {
    bad(result.pointer(), "a completed run needs its result");
  }
  if (run.completed()) check_completed(run, f.pointer());
  if (const auto derived = f.optional("derived"); derived && !derived->is_null()) check_capability(*derived);

  if (const auto warnings = f.optional("warnings")) {
    const std::size_t n = warnings->array_size(kMaxWarnings);
    run.recorded_warnings.emplace();
    for (std::size_t i = 0; i < n; ++i) {
      const Field w = warnings->at(i);
      run.recorded_warnings->push_back(RecordedWarning{w["code"].text(), w["message"].text()});
    }
  }
  // Added within version 2: documents written before it have no "observed".
  if (const auto observed = f.optional("observed"); observed && !observed->is_null()) {
    run.observation = read_observation(*observed);
  }
  return run;
}

MachineContext read_machine(const Field& f) {
  f.require_object();
  MachineContext m;
  m.cpu_model = f["cpu_model"].text_or_null();
  m.online_cpus = f["online_cpus"].u32();
  if (const auto affinity = f.optional("affinity_cpus"); affinity && !affinity->is_null()) {
    m.affinity_cpus = affinity->u32();
  }
  if (const auto quota = f.optional("cpu_quota"); quota && !quota->is_null()) {
    CpuQuota q;
    const Field limit = (*quota)["quota_us"];
    if (!limit.is_null()) q.quota_us = limit.whole();
    q.period_us = (*quota)["period_us"].whole();
    if (q.period_us == 0) bad(quota->pointer() + "/period_us", "must be greater than 0");
    m.cpu_quota = q;
  }
  // Written as "kernel" so far; "os_kernel" is read as well, so that the
  // clearer name can replace it without breaking older readers' files.
  if (const auto kernel = f.optional("kernel")) {
    m.os_kernel = kernel->text_or_null();
  } else if (const auto os_kernel = f.optional("os_kernel")) {
    m.os_kernel = os_kernel->text_or_null();
  }
  if (const auto governors = f.optional("governors"); governors && !governors->is_null()) {
    const std::size_t n = governors->array_size(kMaxGovernors);
    for (std::size_t i = 0; i < n; ++i) m.governors.push_back(governors->at(i).text());
  }
  if (const auto hypervisor = f.optional("hypervisor"); hypervisor && !hypervisor->is_null()) {
    m.hypervisor = hypervisor->boolean();
  }
  if (const auto load = f.optional("load_average"); load && !load->is_null()) {
    if (load->array_size(3) != 3) bad(load->pointer(), "must hold three numbers");
    const double one = load->at(0).finite(), five = load->at(1).finite(), fifteen = load->at(2).finite();
    if (one < 0.0 || five < 0.0 || fifteen < 0.0) bad(load->pointer(), "must not be negative");
    m.load = LoadAverage{one, five, fifteen};
  }
  // Added within version 2, and left out by --anonymous.
  if (const auto host = f.optional("host_name"); host && !host->is_null()) {
    m.host_name = host->text();
    if (m.host_name.empty() || m.host_name.size() > kMaxHostName) {
      bad(host->pointer(), "must be 1 to " + std::to_string(kMaxHostName) + " bytes");
    }
  }
  if (const auto id = f.optional("machine_id"); id && !id->is_null()) {
    m.machine_id = id->text();
    if (!is_machine_identity(m.machine_id)) bad(id->pointer(), "must be 1 to 64 lowercase hex digits");
  }
  return m;
}

// The request and outcome of a --precision series, from a document's
// "series" entry. Everything else in that entry is derived from the runs and
// derived again when the document is shown.
PrecisionRecord read_precision(const Field& f, std::uint32_t benchmark) {
  f.require_object();
  PrecisionRecord p;
  p.benchmark = benchmark;
  p.target_percent = non_negative(f["target_percent"]);
  p.max_time_seconds = non_negative(f["max_time_seconds"]);
  p.elapsed_seconds = non_negative(f["elapsed_seconds"]);
  p.stopped = f["stopped"].text();
  if (p.stopped != "reached" && p.stopped != "budget" && p.stopped != "cancelled" && p.stopped != "failed") {
    bad(f["stopped"].pointer(), "must be \"reached\", \"budget\", \"cancelled\" or \"failed\"");
  }
  return p;
}

// An A/B series' "ab" section: what was compared and in which order. The
// pairs and the estimate in it are derived from the runs and derived again
// when the document is shown. Each run's "side" must agree with the order,
// so that a file edited by hand cannot pair runs other than it says.
constexpr std::size_t kMaxAbText = 4096;

std::string ab_text(const Field& f, bool may_be_null) {
  std::string text = may_be_null ? f.text_or_null() : f.text();
  if (text.size() > kMaxAbText) bad(f.pointer(), "is longer than " + std::to_string(kMaxAbText) + " bytes");
  return text;
}

AbRecord read_ab(const Field& f, const Field& runs, std::size_t run_count) {
  f.require_object();
  AbRecord ab;
  ab.label_a = ab_text(f["labels"]["A"], false);
  ab.label_b = ab_text(f["labels"]["B"], false);
  ab.setup_a = ab_text(f["setup"]["A"], false);
  ab.setup_b = ab_text(f["setup"]["B"], false);
  ab.restore = ab_text(f["setup"]["restore"], true);
  ab.settle_seconds = non_negative(f["settle_seconds"]);
  ab.seed = f["seed"].u32();
  ab.order = f["order"].text();
  if (ab.order.size() != run_count) bad(f["order"].pointer(), "must have one letter per run");
  for (std::size_t i = 0; i < run_count; ++i) {
    const char side = ab.order[i];
    if (side != 'A' && side != 'B') bad(f["order"].pointer(), "must hold only the letters A and B");
    if (runs.at(i)["side"].text() != std::string(1, side)) {
      bad(runs.at(i).pointer() + "/side", "disagrees with /ab/order");
    }
  }
  if (const Field precision = f["precision"]; !precision.is_null()) {
    ab.target_percent = non_negative(precision["target_percent"]);
    ab.max_time_seconds = non_negative(precision["max_time_seconds"]);
  }
  ab.stopped = f["stopped"].text();
  static constexpr const char* kStops[] = {"done", "reached", "budget", "setup-failed", "cancelled", "failed"};
  if (std::find(std::begin(kStops), std::end(kStops), ab.stopped) == std::end(kStops)) {
    bad(f["stopped"].pointer(),
        "must be one of \"done\", \"reached\", \"budget\", \"setup-failed\", \"cancelled\", \"failed\"");
  }
  return ab;
}

SavedExport read_document(const json& doc) {
  const Field root(doc, "");
  if (!doc.is_object()) bad("", "the document must be a JSON object");
  const Field version = root["schema_version"];
  const std::uint64_t v = version.whole();
  if (v < kOldestReadableSchema || v > kNewestReadableSchema) {
    bad("/schema_version", "unknown schema_version " + std::to_string(v) + " (this command reads versions " +
                               std::to_string(kOldestReadableSchema) + " to " + std::to_string(kNewestReadableSchema) +
                               ")");
  }
  SavedExport saved;
  saved.schema_version = static_cast<int>(v);
  const Field command = root["command"];
  saved.command_name = command["name"].text();
  saved.invocation.command_version = command["version"].text();
  const Field library = root["library"];
  saved.invocation.library_version = library["version"].text();
  saved.invocation.abi_version = library["abi_version"].u32();
  saved.invocation.machine = read_machine(root["machine"]);
  // Added within version 2: seconds since the Unix epoch.
  if (const auto end = root.optional("end_time"); end && !end->is_null()) {
    saved.invocation.end_time = static_cast<std::int64_t>(end->whole(std::uint64_t{1} << 40));
  }
  const Field runs = root["runs"];
  const std::size_t count = runs.array_size(kMaxRuns);
  for (std::size_t i = 0; i < count; ++i) saved.invocation.runs.push_back(read_run(runs.at(i), saved.schema_version));
  // Added within version 2: only an A/B series has "ab".
  if (const auto ab = root.optional("ab"); ab && !ab->is_null()) saved.invocation.ab = read_ab(*ab, runs, count);
  // Added within version 2: documents written before it have no "series".
  if (const auto series = root.optional("series"); series && !series->is_null()) {
    const std::size_t entries = series->array_size(2);
    for (std::size_t i = 0; i < entries; ++i) {
      const Field entry = series->at(i);
      entry.require_object();
      const std::uint32_t benchmark = entry["benchmark"].u32();
      if (benchmark != TRUVELLO_BENCHMARK_SINGLE && benchmark != TRUVELLO_BENCHMARK_ALL_CPUS) {
        bad(entry["benchmark"].pointer(), "must be 1 or 2");
      }
      if (saved.invocation.precision_of(benchmark) != nullptr) bad(entry.pointer(), "repeats a benchmark");
      check_capability(entry);
      if (const auto precision = entry.optional("precision"); precision && !precision->is_null()) {
        saved.invocation.precision.push_back(read_precision(*precision, benchmark));
      }
    }
  }
  return saved;
}

struct TooDeep {};

}  // namespace

ExportRead parse_export(std::string_view text) {
  ExportRead read;
  if (text.size() > kMaxExportBytes) {
    read.error = "larger than " + std::to_string(kMaxExportBytes >> 20) + " MiB: not a document of this command";
    return read;
  }
  json doc;
  try {
    doc = json::parse(text, [](int depth, json::parse_event_t, json&) {
      if (depth > kMaxExportDepth) throw TooDeep{};
      return true;
    });
  } catch (const TooDeep&) {
    read.error = "nested deeper than " + std::to_string(kMaxExportDepth) + " levels: not a document of this command";
    return read;
  } catch (const json::exception& e) {
    // A syntax error, or a number too large for a double ("1e400").
    std::string detail = e.what();
    // "[json.exception.parse_error.101] parse error at ...": the bracket is noise.
    if (const std::size_t close = detail.find("] "); detail.rfind("[json.exception", 0) == 0 && close != detail.npos) {
      detail.erase(0, close + 2);
    }
    read.error = (text.empty() ? std::string("empty file, not JSON") : "not valid JSON (") +
                 (text.empty() ? "" : printable(detail) + ")");
    return read;
  }
  try {
    read.saved = read_document(doc);
  } catch (const BadDocument& e) {
    read.error = (e.pointer.empty() ? std::string() : e.pointer + ": ") + e.what;
  } catch (const json::exception& e) {
    // Every access above is checked first; this only guards against a
    // check forgotten, turning it into a refusal instead of a crash.
    read.error = "unreadable document: " + printable(e.what());
  }
  return read;
}

ExportRead read_export(const std::string& path) {
  ExportRead read;
  std::string text;
  if (const std::string failure = read_document_file(path, text); !failure.empty()) {
    read.error = printable(path) + ": " + failure;
    return read;
  }
  read = parse_export(text);
  if (!read.saved) read.error = printable(path) + ": " + read.error;
  return read;
}

}  // namespace truvello::cli
