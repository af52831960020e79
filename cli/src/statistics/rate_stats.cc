#include "statistics/rate_stats.h"

#include <algorithm>

#include "statistics/robust.h"

namespace truvello::cli {

std::vector<truvello_sample_record> steady_samples(std::span<const truvello_sample_record> samples) {
  constexpr double kHalfSecond = 0.5;
  std::vector<truvello_sample_record> kept;
  std::copy_if(samples.begin(), samples.end(), std::back_inserter(kept),
               [](const truvello_sample_record& s) { return s.dt >= kHalfSecond; });
  if (kept.empty()) kept.assign(samples.begin(), samples.end());
  return kept;
}

std::optional<double> rate_between(std::span<const truvello_sample_record> samples, double from, double to) {
  if (!(to > from)) return std::nullopt;
  double ops = 0.0;
  double covered = 0.0;
  for (const truvello_sample_record& s : samples) {
    if (!(s.dt > 0.0)) continue;
    const double begin = s.t - s.dt;
    const double overlap = std::min(s.t, to) - std::max(begin, from);
    if (overlap <= 0.0) continue;
    ops += static_cast<double>(s.ops) * (overlap / s.dt);
    covered += overlap;
  }
  if (!(covered > 0.0)) return std::nullopt;
  return ops / covered;
}

std::optional<RateStats> rate_stats(std::span<const truvello_sample_record> samples) {
  if (samples.empty()) return std::nullopt;
  const std::vector<truvello_sample_record> steady = steady_samples(samples);
  std::vector<double> rates;
  rates.reserve(steady.size());
  for (const truvello_sample_record& s : steady) rates.push_back(s.rate);

  RateStats stats;
  const auto [lo, hi] = std::minmax_element(rates.begin(), rates.end());
  stats.min = *lo;
  stats.max = *hi;
  stats.median = median(rates);

  if (samples.size() >= kMinSamplesForDrift) {
    const double window = samples.back().t;
    stats.first_third = rate_between(samples, 0.0, window / 3.0);
    stats.last_third = rate_between(samples, window * 2.0 / 3.0, window);
    if (stats.first_third && stats.last_third && *stats.first_third > 0.0) {
      stats.drift_percent = (*stats.last_third - *stats.first_third) / *stats.first_third * 100.0;
    }
  }
  return stats;
}

}  // namespace truvello::cli
