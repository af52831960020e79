#include "document/ab_json.h"

#include <algorithm>

#include "document/json_text.h"

namespace truvello::cli {

namespace {

using nlohmann::json;

json interval_json(const std::optional<double>& low, const std::optional<double>& high) {
  return json{{"ci_low", optional_value(low)}, {"ci_high", optional_value(high)}};
}

}  // namespace

json ab_json(const InvocationView& view) {
  if (!view.ab || !view.source().ab) return nullptr;
  const AbRecord& ab = *view.source().ab;
  const std::vector<AbPair>& pairs = view.ab->pairs;
  const auto& estimate = view.ab->estimate;

  std::vector<bool> stood_out(pairs.size(), false);
  if (estimate) {
    for (const DisturbedRun& d : estimate->ratio.disturbed) stood_out[d.index] = true;
  }
  json pair_list = json::array();
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    const AbPair& p = pairs[i];
    pair_list.push_back(json{{"pair", p.number},
                             {"a_run", p.a_run},
                             {"b_run", p.b_run},
                             {"a_score", p.a},
                             {"b_score", p.b},
                             {"ratio", p.b / p.a},
                             {"stood_out", static_cast<bool>(stood_out[i])}});
  }
  json estimate_figures = nullptr;
  if (estimate) {
    json out = json::array();
    for (const DisturbedRun& d : estimate->ratio.disturbed) out.push_back(pairs[d.index].number);
    estimate_figures = json{{"method", "paired-t-log-ratio"},
                            {"pairs", estimate->pairs},
                            {"kept", estimate->ratio.kept},
                            {"a_score", estimate->a_score},
                            {"b_score", estimate->b_score},
                            {"ratio", estimate->ratio.score},
                            {"half_width_percent", optional_value(estimate->ratio.half_width_percent())},
                            {"confidence", kConfidence},
                            {"verdict", estimate->verdict ? json(verdict_key(*estimate->verdict)) : json(nullptr)},
                            {"stood_out", out}};
    estimate_figures.update(interval_json(estimate->ratio.low, estimate->ratio.high));
  }
  json unpaired = nullptr;
  if (const auto& u = view.ab->unpaired) {
    unpaired = json{{"method", "welch-run-scores"}, {"ratio", u->ratio}, {"verdict", verdict_key(u->verdict)}};
    unpaired.update(interval_json(u->low, u->high));
  }
  json precision = nullptr;
  if (ab.target_percent) {
    precision = json{{"target_percent", *ab.target_percent}, {"max_time_seconds", optional_value(ab.max_time_seconds)}};
  }
  return json{
      {"labels", {{"A", ab.label_a}, {"B", ab.label_b}}},
      {"setup",
       {{"A", ab.setup_a}, {"B", ab.setup_b}, {"restore", ab.restore.empty() ? json(nullptr) : json(ab.restore)}}},
      {"settle_seconds", ab.settle_seconds},
      {"seed", ab.seed},
      {"order", ab.order},
      {"precision", precision},
      {"stopped", ab.stopped},
      {"pairs", pair_list},
      {"estimate", estimate_figures},
      {"unpaired", unpaired}};
}

}  // namespace truvello::cli
