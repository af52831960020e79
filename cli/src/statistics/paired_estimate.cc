#include "statistics/paired_estimate.h"

#include <algorithm>
#include <cmath>

namespace truvello::cli {

std::vector<AbPair> ab_pairs(const Invocation& invocation) {
  std::vector<AbPair> pairs;
  if (!invocation.ab) return pairs;
  const std::string& order = invocation.ab->order;
  const std::size_t runs = std::min(order.size(), invocation.runs.size());
  for (std::size_t first = 0; first + 1 < runs; first += 2) {
    const std::size_t a_run = order[first] == 'A' ? first : first + 1;
    const std::size_t b_run = a_run == first ? first + 1 : first;
    const RunOutcome& a = invocation.runs[a_run];
    const RunOutcome& b = invocation.runs[b_run];
    if (order[a_run] != 'A' || order[b_run] != 'B' || !a.completed() || !b.completed()) continue;
    pairs.push_back(AbPair{first / 2 + 1, a.result->mean_rate, b.result->mean_rate, a_run, b_run});
  }
  return pairs;
}

std::optional<PairedEstimate> estimate_pairs(std::span<const AbPair> pairs) {
  std::vector<double> ratios;
  for (const AbPair& p : pairs) {
    if (!(p.a > 0.0) || !(p.b > 0.0) || !std::isfinite(p.a) || !std::isfinite(p.b)) return std::nullopt;
    ratios.push_back(p.b / p.a);
  }
  auto ratio = estimate_series(ratios);
  if (!ratio) return std::nullopt;
  PairedEstimate e;
  e.pairs = pairs.size();
  e.ratio = std::move(*ratio);
  std::vector<bool> out(pairs.size(), false);
  for (const DisturbedRun& d : e.ratio.disturbed) out[d.index] = true;
  double log_a = 0.0;
  double log_b = 0.0;
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    if (out[i]) continue;
    log_a += std::log(pairs[i].a);
    log_b += std::log(pairs[i].b);
  }
  const double kept = static_cast<double>(e.ratio.kept);
  e.a_score = std::exp(log_a / kept);
  e.b_score = std::exp(log_b / kept);
  if (e.ratio.low && e.ratio.high) {
    e.verdict = *e.ratio.low > 1.0 ? Verdict::kFaster : *e.ratio.high < 1.0 ? Verdict::kSlower : Verdict::kSame;
  }
  return e;
}

std::optional<RatioInterval> unpaired_interval(std::span<const AbPair> pairs) {
  std::vector<double> a;
  std::vector<double> b;
  for (const AbPair& p : pairs) {
    a.push_back(p.a);
    b.push_back(p.b);
  }
  const auto side_a = run_scores(a);
  const auto side_b = run_scores(b);
  if (!side_a || !side_b) return std::nullopt;
  return compare_log_scores(*side_a, *side_b);
}

}  // namespace truvello::cli
