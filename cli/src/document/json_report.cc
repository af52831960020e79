#include "document/json_report.h"

#include "document/ab_json.h"
#include "document/json_text.h"

#include "text/units.h"

namespace truvello::cli {

namespace {

using nlohmann::json;

json config_json(const truvello_config& c) {
  return json{{"abi_version", c.abi_version},       {"struct_size", c.struct_size},
              {"benchmark", c.benchmark},           {"reserved", c.reserved},
              {"warmup_seconds", c.warmup_seconds}, {"measurement_seconds", c.measurement_seconds}};
}

json result_json(const truvello_result_record& r) {
  return json{{"abi_version", r.abi_version},
              {"status", r.status},
              {"benchmark", r.benchmark},
              {"workers", r.workers},
              {"mean_rate", r.mean_rate},
              {"warmup_seconds", r.warmup_seconds},
              {"measurement_seconds", r.measurement_seconds},
              {"measured_seconds", r.measured_seconds},
              {"cv_percent", r.cv_percent},
              {"total_ops", r.total_ops},
              {"checksum", r.checksum},
              {"sample_count", r.sample_count},
              {"unstable", r.unstable},
              {"cv_valid", r.cv_valid}};
}

// The capability beside a score, in a run's "derived" and a series' entry:
// null figures and the reason when there is none.
void add_capability(json& out, const CapabilityEstimate& e) {
  const auto& c = e.value;
  out["capability"] = c ? json(c->rate) : json(nullptr);
  out["capability_ci_low"] = c ? json(c->low) : json(nullptr);
  out["capability_ci_high"] = c ? json(c->high) : json(nullptr);
  out["spell_share"] = c ? optional_value(c->spell_share) : json(nullptr);
  out["capability_note"] = c ? json(nullptr) : json(e.note);
}

json derived_json(const RunView& view) {
  json derived = json::object();
  if (view.run->result) derived["checksum_hex"] = hex64(view.run->result->checksum);
  const auto& stats = view.stats;
  derived["median_rate"] = stats ? json(stats->median) : json(nullptr);
  derived["min_rate"] = stats ? json(stats->min) : json(nullptr);
  derived["max_rate"] = stats ? json(stats->max) : json(nullptr);
  derived["first_third_rate"] = stats ? optional_value(stats->first_third) : json(nullptr);
  derived["last_third_rate"] = stats ? optional_value(stats->last_third) : json(nullptr);
  derived["drift_percent"] = stats ? optional_value(stats->drift_percent) : json(nullptr);
  add_capability(derived, view.capability);
  return derived;
}

json samples_json(const std::vector<truvello_sample_record>& samples) {
  json out = json::array();
  for (const truvello_sample_record& s : samples) {
    out.push_back(json{{"t", s.t}, {"dt", s.dt}, {"ops", s.ops}, {"rate", s.rate}});
  }
  return out;
}

json observed_json(const std::optional<RunObservation>& observation) {
  if (!observation) return nullptr;
  json workers = json::array();
  for (const WorkerObservation& w : observation->workers) {
    workers.push_back(json{{"name", w.name},
                           {"window_seconds", w.window_seconds},
                           {"cpu_seconds", w.cpu_seconds},
                           {"cpu_share", w.cpu_share()},
                           {"wait_seconds", optional_value(w.wait_seconds)},
                           {"involuntary_switches", optional_value(w.involuntary_switches)},
                           {"cpus", w.cpus},
                           {"core_types", w.core_types}});
  }
  return json{{"workers", workers}};
}

json run_json(const RunView& view) {
  const RunOutcome& run = *view.run;
  json warnings = json::array();
  for (const Warning& w : view.warnings) {
    warnings.push_back(json{{"code", w.code}, {"message", w.message}});
  }
  return json{{"name", run.kind().key()},
              {"repeat", run.repeat},
              {"config", config_json(run.config)},
              {"status", run.status},
              {"status_text", status_text(run.status)},
              {"result", run.result ? result_json(*run.result) : json(nullptr)},
              {"reason", run.reason},
              {"derived", derived_json(view)},
              {"warnings", warnings},
              {"observed", observed_json(run.observation)},
              {"samples", samples_json(run.samples)}};
}

json machine_json(const MachineContext& m) {
  json quota = nullptr;
  if (m.cpu_quota) {
    quota = json{{"quota_us", optional_value(m.cpu_quota->quota_us)},
                 {"period_us", m.cpu_quota->period_us},
                 {"cpus", optional_value(m.cpu_quota->cpus())}};
  }
  json load = nullptr;
  if (m.load) load = json::array({m.load->one, m.load->five, m.load->fifteen});
  return json{{"cpu_model", m.cpu_model.empty() ? json(nullptr) : json(m.cpu_model)},
              {"online_cpus", m.online_cpus},
              {"affinity_cpus", optional_value(m.affinity_cpus)},
              {"cpu_quota", quota},
              {"usable_cpus", m.usable_cpus()},
              {"kernel", m.os_kernel},  // the OS kernel; the key predates the name
              {"governors", m.governors},
              {"hypervisor", m.hypervisor},
              {"load_average", load},
              {"host_name", m.host_name.empty() ? json(nullptr) : json(m.host_name)},
              {"machine_id", m.machine_id.empty() ? json(nullptr) : json(m.machine_id)}};
}

json series_json(const SeriesView& view) {
  const SeriesEstimate& e = *view.estimate;
  json disturbed = json::array();
  for (const DisturbedRun& d : e.disturbed) {
    disturbed.push_back(json{{"repeat", view.run_of(d).repeat}, {"off_percent", d.off_percent}, {"z", d.z}});
  }
  json precision = nullptr;
  if (const PrecisionRecord* p = view.precision) {
    precision = json{{"target_percent", p->target_percent},
                     {"max_time_seconds", p->max_time_seconds},
                     {"elapsed_seconds", p->elapsed_seconds},
                     {"reached", p->stopped == "reached"},
                     {"stopped", p->stopped}};
  }
  const auto& s = view.spread;
  json entry{{"name", BenchmarkKind{view.benchmark}.key()},
             {"benchmark", view.benchmark},
             {"runs", view.runs},
             {"completed", view.completed.size()},
             {"kept", e.kept},
             {"score", e.score},
             {"ci_low", optional_value(e.low)},
             {"ci_high", optional_value(e.high)},
             {"half_width_percent", optional_value(e.half_width_percent())},
             {"confidence", kConfidence},
             {"disturbed", disturbed},
             {"mean", s ? json(s->mean) : json(nullptr)},
             {"median", s ? json(s->median) : json(nullptr)},
             {"min", s ? json(s->min) : json(nullptr)},
             {"max", s ? json(s->max) : json(nullptr)},
             {"cv_percent", s ? json(s->cv_percent) : json(nullptr)},
             {"precision", precision}};
  add_capability(entry, view.capability);
  return entry;
}

}  // namespace

json invocation_json(const InvocationView& view) {
  const Invocation& invocation = view.source();
  json runs = json::array();
  for (const RunView& run : view.runs) runs.push_back(run_json(run));
  // An A/B series' runs each say which side they measured.
  if (invocation.ab) {
    const AbRecord& ab = *invocation.ab;
    for (std::size_t i = 0; i < runs.size() && i < ab.order.size(); ++i) {
      runs[i]["side"] = std::string(1, ab.order[i]);
      runs[i]["label"] = ab.label(ab.order[i]);
    }
  }
  json series = json::array();
  for (const SeriesView& s : view.series) {
    // An A/B series is judged by its pairs (the "ab" section), never as one
    // series of both sides.
    if (s.estimate && !invocation.ab) series.push_back(series_json(s));
  }
  json scaling_figures = nullptr;
  if (const auto& s = view.scaling) {
    scaling_figures = json{{"speedup", s->speedup}, {"workers", s->workers}, {"efficiency", s->efficiency}};
  }
  json doc{{"schema_version", kJsonSchemaVersion},
           {"command", {{"name", "truvello"}, {"version", invocation.command_version}}},
           {"library", {{"version", invocation.library_version}, {"abi_version", invocation.abi_version}}},
           {"machine", machine_json(invocation.machine)},
           {"runs", runs},
           {"series", series},
           {"scaling", scaling_figures},
           {"end_time", optional_value(invocation.end_time)}};
  if (invocation.ab) doc["ab"] = ab_json(view);
  return doc;
}

std::string json_text(const InvocationView& view) { return json_text(invocation_json(view)); }

}  // namespace truvello::cli
