#include "compare/series_estimate.h"

#include <algorithm>
#include <cmath>

namespace truvello::cli {

namespace {

// 1 / Phi^-1(3/4): scales a median absolute deviation to the standard
// deviation it estimates for normal data.
constexpr double kMadToSd = 1.4826;

double median_of(std::vector<double> values) {
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  const double upper = values[mid];
  if (values.size() % 2 == 1) return upper;
  const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid));
  return 0.5 * (lower + upper);
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

  // Which runs stood off: the median and the MAD cannot be moved by fewer
  // than half of the runs, so a slow period that spoiled one or two runs
  // out of five is seen against the others rather than hidden in the spread
  // it causes.
  const double centre = median_of(logs);
  std::vector<double> deviations;
  for (const double x : logs) deviations.push_back(std::fabs(x - centre));
  const double spread = std::max(kMadToSd * median_of(deviations), kMinRobustSpread);
  std::vector<double> kept;
  std::vector<std::size_t> off;
  for (std::size_t i = 0; i < logs.size(); ++i) {
    if (deviations[i] / spread > kDisturbedZ) {
      off.push_back(i);
    } else {
      kept.push_back(logs[i]);
    }
  }
  e.kept = kept.size();

  // The kept runs are treated as independent draws of a normal log score:
  // their mean, and Student's t on their spread. The t interval is exact for
  // any number of runs under that assumption, where an interval from order
  // statistics cannot reach 95 % below six runs.
  const double n = static_cast<double>(kept.size());
  double mean = 0.0;
  for (const double x : kept) mean += x;
  mean /= n;
  e.score = std::exp(mean);
  if (kept.size() >= 2) {
    double squares = 0.0;
    for (const double x : kept) squares += (x - mean) * (x - mean);
    const LogScore log_score{mean, squares / (n - 1.0) / n, n - 1.0};
    const double half = student_t_quantile(0.5 + kConfidence / 2.0, log_score.df) * std::sqrt(log_score.variance);
    e.low = std::exp(mean - half);
    e.high = std::exp(mean + half);
    e.log_score = log_score;
  }
  for (const std::size_t i : off) {
    e.disturbed.push_back(DisturbedRun{i, deviations[i] / spread, 100.0 * (std::exp(logs[i] - mean) - 1.0)});
  }
  return e;
}

}  // namespace truvello::cli
