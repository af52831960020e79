#include "statistics/score_inference.h"

#include <algorithm>
#include <boost/math/distributions/normal.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <cmath>
#include <limits>
#include <vector>

namespace truvello::cli {

namespace {

// Bad arguments come back as NaN rather than as an exception, and a value
// past a double's range as infinity: the callers look for NaN, and nothing in
// the command expects Boost to throw.
namespace policies = boost::math::policies;
using NanPolicy =
    policies::policy<policies::domain_error<policies::ignore_error>, policies::pole_error<policies::ignore_error>,
                     policies::overflow_error<policies::ignore_error>,
                     policies::evaluation_error<policies::ignore_error>>;
using StudentT = boost::math::students_t_distribution<double, NanPolicy>;
using Normal = boost::math::normal_distribution<double, NanPolicy>;

}  // namespace

const char* method_key(Method method) {
  switch (method) {
    case Method::kRunScores:
      return "run-scores";
    case Method::kBatchMeans:
      return "batch-means";
    default:
      return "mixed";
  }
}

const char* verdict_key(Verdict verdict) {
  switch (verdict) {
    case Verdict::kFaster:
      return "faster";
    case Verdict::kSlower:
      return "slower";
    default:
      return "same";
  }
}

double student_t_cdf(double t, double df) {
  if (std::isnan(t) || !(df > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(df)) return boost::math::cdf(Normal(), t);
  return boost::math::cdf(StudentT(df), t);
}

double student_t_quantile(double p, double df) {
  if (!(p > 0.0 && p < 1.0) || !(df > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (std::isinf(df)) return boost::math::quantile(Normal(), p);
  return boost::math::quantile(StudentT(df), p);
}

std::optional<LogScore> batch_means(std::span<const truvello_sample_record> samples, double score) {
  if (!(score > 0.0) || !std::isfinite(score)) return std::nullopt;
  std::vector<truvello_sample_record> whole;
  for (const truvello_sample_record& s : samples) {
    if (s.dt >= 0.5) whole.push_back(s);
  }
  const std::size_t n = whole.size();
  const std::size_t batches =
      std::max(kMinBatches, static_cast<std::size_t>(std::floor(std::cbrt(static_cast<double>(n)))));
  if (n < batches * kMinBatchSeconds) return std::nullopt;
  // The remainder is spread over the batches, the first ones a second longer,
  // so that every second counts.
  std::vector<double> logs;
  std::size_t next = 0;
  for (std::size_t b = 0; b < batches; ++b) {
    const std::size_t length = n / batches + (b < n % batches ? 1 : 0);
    double ops = 0.0;
    double seconds = 0.0;
    for (std::size_t i = 0; i < length; ++i, ++next) {
      ops += static_cast<double>(whole[next].ops);
      seconds += whole[next].dt;
    }
    // A batch without a single operation has no log; its run is no basis
    // for an interval.
    if (!(ops > 0.0)) return std::nullopt;
    logs.push_back(std::log(ops / seconds));
  }
  double mean = 0.0;
  for (double x : logs) mean += x;
  mean /= static_cast<double>(batches);
  double squares = 0.0;
  for (double x : logs) squares += (x - mean) * (x - mean);
  const double k = static_cast<double>(batches);
  return LogScore{std::log(score), squares / (k - 1.0) / k, k - 1.0};
}

std::optional<LogScore> run_scores(std::span<const double> scores) {
  if (scores.size() < 2) return std::nullopt;
  std::vector<double> logs;
  for (double s : scores) {
    if (!(s > 0.0) || !std::isfinite(s)) return std::nullopt;
    logs.push_back(std::log(s));
  }
  const double n = static_cast<double>(logs.size());
  double mean = 0.0;
  for (double x : logs) mean += x;
  mean /= n;
  double squares = 0.0;
  for (double x : logs) squares += (x - mean) * (x - mean);
  return LogScore{mean, squares / (n - 1.0) / n, n - 1.0};
}

RatioInterval compare_log_scores(const LogScore& baseline, const LogScore& candidate) {
  RatioInterval out;
  const double difference = candidate.estimate - baseline.estimate;
  const double variance = baseline.variance + candidate.variance;
  out.ratio = std::exp(difference);
  double half_width = 0.0;
  if (variance > 0.0) {
    // Welch-Satterthwaite; a side known exactly adds no uncertainty and
    // takes no part in the degrees of freedom.
    double denominator = 0.0;
    if (baseline.variance > 0.0) denominator += baseline.variance * baseline.variance / baseline.df;
    if (candidate.variance > 0.0) denominator += candidate.variance * candidate.variance / candidate.df;
    const double df = variance * variance / denominator;
    half_width = student_t_quantile(0.5 + kConfidence / 2.0, df) * std::sqrt(variance);
  }
  out.low = std::exp(difference - half_width);
  out.high = std::exp(difference + half_width);
  if (out.low > 1.0) {
    out.verdict = Verdict::kFaster;
  } else if (out.high < 1.0) {
    out.verdict = Verdict::kSlower;
  }
  return out;
}

}  // namespace truvello::cli
