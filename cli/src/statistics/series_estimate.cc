#include "statistics/series_estimate.h"

#include <algorithm>
#include <cmath>

#include "statistics/robust.h"

namespace truvello::cli {

namespace {

// The mean of some log scores and the sum of their squared deviations from it.
struct Moments {
  double mean = 0.0;
  double squares = 0.0;
};

Moments moments_of(const std::vector<double>& values) {
  Moments m;
  for (const double x : values) m.mean += x;
  m.mean /= static_cast<double>(values.size());
  for (const double x : values) m.squares += (x - m.mean) * (x - m.mean);
  return m;
}

}  // namespace

std::optional<double> SeriesEstimate::half_width_percent() const {
  if (!low || !high || !(score > 0.0)) return std::nullopt;
  return 100.0 * (*high - *low) / (2.0 * score);
}

std::optional<SeriesEstimate> estimate_series(std::span<const double> scores) {
  if (scores.empty()) return std::nullopt;
  std::vector<double> logs;
  for (const double s : scores) {
    if (!(s > 0.0) || !std::isfinite(s)) return std::nullopt;
    logs.push_back(std::log(s));
  }
  SeriesEstimate e;
  e.runs = logs.size();

  // Candidates: the runs far from the median in robust spreads.
  const double centre = median(logs);
  const double spread = std::max(mad_spread(logs, centre), kMinRobustSpread);
  std::vector<double> z;
  for (const double x : logs) z.push_back(modified_z_score(x, centre, spread));
  std::vector<bool> candidate(logs.size());
  for (std::size_t i = 0; i < logs.size(); ++i) candidate[i] = z[i] > kDisturbedZ;

  // A candidate is disturbed only if it also lies outside what the other
  // runs predict for one more: all of them but the other candidates on its
  // side, as two runs a busy host slowed alike would hide each other.
  const double level = 1.0 - kDisturbedAlpha / (2.0 * static_cast<double>(logs.size()));
  std::vector<std::size_t> off;
  std::vector<double> kept;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    if (candidate[i]) {
      std::vector<double> others;
      for (std::size_t j = 0; j < logs.size(); ++j) {
        const bool same_side = candidate[j] && (logs[j] - centre) * (logs[i] - centre) > 0.0;
        if (j != i && !same_side) others.push_back(logs[j]);
      }
      const Moments o = moments_of(others);
      const double m = static_cast<double>(others.size());
      const double sd = std::max(std::sqrt(o.squares / (m - 1.0)), kMinRobustSpread);
      if (std::fabs(logs[i] - o.mean) > student_t_quantile(level, m - 1.0) * sd * std::sqrt(1.0 + 1.0 / m)) {
        off.push_back(i);
        continue;
      }
    }
    kept.push_back(logs[i]);
  }
  e.kept = kept.size();

  const Moments k = moments_of(kept);
  e.score = std::exp(k.mean);
  if (kept.size() >= 2) {
    const double n = static_cast<double>(kept.size());
    const LogScore log_score{k.mean, k.squares / (n - 1.0) / n, n - 1.0};
    const double half = student_t_quantile(0.5 + kConfidence / 2.0, log_score.df) * std::sqrt(log_score.variance);
    e.low = std::exp(k.mean - half);
    e.high = std::exp(k.mean + half);
    e.log_score = log_score;
  }
  for (const std::size_t i : off) {
    e.disturbed.push_back(DisturbedRun{i, z[i], 100.0 * (std::exp(logs[i] - k.mean) - 1.0)});
  }
  return e;
}

}  // namespace truvello::cli
