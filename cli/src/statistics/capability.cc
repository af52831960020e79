#include "statistics/capability.h"

#include <algorithm>
#include <cmath>

#include "statistics/rate_stats.h"
#include "statistics/robust.h"

namespace truvello::cli {

std::vector<double> fast_cluster(std::span<const double> rates) {
  std::vector<double> sorted(rates.begin(), rates.end());
  std::sort(sorted.begin(), sorted.end());
  if (sorted.empty()) return sorted;
  const double cut = quantile(sorted, kFastQuantile) * (1.0 - kFastCut);
  sorted.erase(sorted.begin(), std::lower_bound(sorted.begin(), sorted.end(), cut));
  return sorted;
}

std::optional<RankInterval> median_rank_interval(std::size_t n) {
  if (n < kMinFastSeconds) return std::nullopt;
  // [x(k), x(n - 1 - k)] (0-based) misses the median when k or fewer values
  // lie below it, or as few above: 2 P(B <= k) for B ~ Binomial(n, 1/2).
  // The largest k whose miss stays within 5 %.
  const double log_half = std::log(0.5) * static_cast<double>(n);
  const double lg_n1 = std::lgamma(static_cast<double>(n) + 1.0);
  double below = 0.0;  // P(B <= k)
  std::size_t k = 0;
  for (std::size_t j = 0; j < n / 2; ++j) {
    const auto jd = static_cast<double>(j);
    below += std::exp(lg_n1 - std::lgamma(jd + 1.0) - std::lgamma(static_cast<double>(n) - jd + 1.0) + log_half);
    if (2.0 * below > 0.05) break;
    k = j;
  }
  return RankInterval{k, n - 1 - k};
}

std::optional<double> spell_share(double score, double rate) {
  if (!(score > 0.0) || !(rate > 0.0) || !std::isfinite(score) || !std::isfinite(rate)) return std::nullopt;
  return std::clamp(1.0 - score / rate, 0.0, std::nextafter(1.0, 0.0));
}

namespace {

std::string too_few_seconds(std::size_t fast) {
  return "too few seconds for a capability: " + std::to_string(fast) + " in the fast cluster, " +
         std::to_string(kMinFastSeconds) + " needed";
}

}  // namespace

CapabilityEstimate capability_of(std::span<const double> rates, double score) {
  const std::vector<double> fast = fast_cluster(rates);
  const auto ranks = median_rank_interval(fast.size());
  if (!ranks) return CapabilityEstimate{std::nullopt, too_few_seconds(fast.size())};
  Capability c;
  c.rate = median(fast);
  c.low = fast[ranks->low];
  c.high = fast[ranks->high];
  c.spell_share = spell_share(score, c.rate);
  c.fast_seconds = fast.size();
  return CapabilityEstimate{c, {}};
}

CapabilityEstimate run_capability(const RunOutcome& run) {
  std::vector<double> rates;
  for (const truvello_sample_record& s : steady_samples(run.samples)) rates.push_back(s.rate);
  return capability_of(rates, run.result ? run.result->mean_rate : 0.0);
}

CapabilityEstimate series_capability(std::span<const CapabilityEstimate> runs, double series_score) {
  std::vector<double> rates;
  for (const CapabilityEstimate& r : runs) {
    if (r.value) rates.push_back(r.value->rate);
  }
  const auto e = estimate_series(rates);
  if (!e) return CapabilityEstimate{std::nullopt, "no run of the series has a capability"};
  if (!e->low || !e->high) {
    return CapabilityEstimate{std::nullopt, "too few runs with a capability: 1, 2 needed"};
  }
  Capability c;
  c.rate = e->score;
  c.low = *e->low;
  c.high = *e->high;
  c.spell_share = spell_share(series_score, c.rate);
  c.fast_seconds = e->kept;
  return CapabilityEstimate{c, {}};
}

}  // namespace truvello::cli
