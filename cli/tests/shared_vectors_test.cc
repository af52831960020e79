// The figures and warnings the Python package derives the same way, checked
// against the cases both sides read (testing/vectors): a rule changed here
// and not there fails this test or the Python one, whichever side left the
// vectors behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "statistics/capability.h"
#include "statistics/rate_stats.h"
#include "statistics/scaling.h"
#include "statistics/warnings.h"
#include "test_vectors.h"

namespace truvello::cli {
namespace {

using nlohmann::json;

json cases(const char* file, const char* group) { return truvello::testing::test_vectors(file).at(group); }

// A case's samples: one a second for each of "rates", then each of "samples"
// as [t, dt, ops, rate].
std::vector<truvello_sample_record> samples_of(const json& c) {
  std::vector<truvello_sample_record> out;
  double t = 0.0;
  for (const json& rate : c.value("rates", json::array())) {
    t += 1.0;
    out.push_back(truvello_sample_record{t, 1.0, rate.get<std::uint64_t>(), rate.get<double>()});
  }
  for (const json& s : c.value("samples", json::array())) {
    out.push_back(truvello_sample_record{s.at(0).get<double>(), s.at(1).get<double>(), s.at(2).get<std::uint64_t>(),
                                         s.at(3).get<double>()});
  }
  return out;
}

json figure(const std::optional<double>& value) { return value ? json(*value) : json(nullptr); }

json warning(const std::optional<Warning>& w) {
  return w ? json{{"code", w->code}, {"message", w->message}} : json(nullptr);
}

std::uint32_t status_of(const std::string& text) {
  if (text == "completed") return TRUVELLO_STATUS_COMPLETED;
  if (text == "cancelled") return TRUVELLO_STATUS_CANCELLED;
  return TRUVELLO_STATUS_FAILED;
}

// A result record with what a case says of the run; cv_percent null is a run
// without a coefficient of variation.
truvello_result_record result_of(const json& c) {
  truvello_result_record r{};
  r.status = status_of(c.value("status", "completed"));
  r.mean_rate = c.value("mean_rate", 0.0);
  r.workers = c.value("workers", 1u);
  r.unstable = c.value("unstable", false) ? 1 : 0;
  if (c.contains("cv_percent") && !c["cv_percent"].is_null()) {
    r.cv_valid = 1;
    r.cv_percent = c["cv_percent"].get<double>();
  }
  return r;
}

TEST(SharedVectors, RateStats) {
  for (const json& c : cases("derived.json", "rate_stats")) {
    const auto stats = rate_stats(samples_of(c));
    const json got = stats ? json{{"median", stats->median},
                                  {"min", stats->min},
                                  {"max", stats->max},
                                  {"first_third", figure(stats->first_third)},
                                  {"last_third", figure(stats->last_third)},
                                  {"drift_percent", figure(stats->drift_percent)}}
                           : json(nullptr);
    EXPECT_EQ(got, c.at("expect")) << c.at("name");
  }
}

TEST(SharedVectors, Capability) {
  for (const json& c : cases("derived.json", "capability")) {
    RunOutcome run;
    run.samples = samples_of(c);
    run.result = result_of(c);
    const CapabilityEstimate e = run_capability(run);
    const auto& v = e.value;
    const json got{{"capability", v ? json(v->rate) : json(nullptr)},
                   {"capability_ci_low", v ? json(v->low) : json(nullptr)},
                   {"capability_ci_high", v ? json(v->high) : json(nullptr)},
                   {"spell_share", v ? figure(v->spell_share) : json(nullptr)},
                   {"capability_note", v ? json(nullptr) : json(e.note)}};
    EXPECT_EQ(got, c.at("expect")) << c.at("name");
  }
}

TEST(SharedVectors, Scaling) {
  for (const json& c : cases("derived.json", "scaling")) {
    const auto s = scaling(result_of(c.at("single")), result_of(c.at("all_cpus")));
    const json got =
        s ? json{{"speedup", s->speedup}, {"workers", s->workers}, {"efficiency", s->efficiency}} : json(nullptr);
    EXPECT_EQ(got, c.at("expect")) << c.at("name");
  }
}

TEST(SharedVectors, Warnings) {
  for (const json& c : cases("warnings.json", "drift")) {
    EXPECT_EQ(warning(drift_warning(samples_of(c))), c.at("expect")) << c.at("name");
  }
  for (const json& c : cases("warnings.json", "unstable")) {
    EXPECT_EQ(warning(unstable_warning(result_of(c))), c.at("expect")) << c.at("name");
  }
  for (const json& c : cases("warnings.json", "short_window")) {
    EXPECT_EQ(warning(short_window_warning(c.at("measurement_seconds").get<double>())), c.at("expect")) << c.at("name");
  }
  for (const json& c : cases("warnings.json", "governor")) {
    EXPECT_EQ(warning(governor_warning(c.at("governors").get<std::vector<std::string>>())), c.at("expect"))
        << c.at("name");
  }
  for (const json& c : cases("warnings.json", "hypervisor")) {
    EXPECT_EQ(warning(hypervisor_warning(c.at("hypervisor").get<bool>())), c.at("expect")) << c.at("name");
  }
}

TEST(SharedVectors, RunWarningsInOrder) {
  for (const json& c : cases("warnings.json", "run")) {
    RunOutcome run;
    run.samples = samples_of(c);
    run.config.measurement_seconds = c.at("measurement_seconds").get<double>();
    run.result = result_of(c);
    run.status = run.result->status;
    // A machine with nothing to say: only the run's own warnings remain.
    MachineContext machine;
    machine.online_cpus = run.result->workers;
    json codes = json::array();
    for (const Warning& w : run_warnings(run, machine)) codes.push_back(w.code);
    EXPECT_EQ(codes, c.at("expect")) << c.at("name");
  }
}

}  // namespace
}  // namespace truvello::cli
