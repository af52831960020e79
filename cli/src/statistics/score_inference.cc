#include "statistics/score_inference.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace truvello::cli {

namespace {

// The regularized incomplete beta function I_x(a, b) by its continued
// fraction, evaluated with the modified Lentz method on the side where it
// converges quickly.
double beta_fraction(double x, double a, double b) {
  constexpr double kTiny = 1e-300;
  constexpr double kEpsilon = 1e-15;
  double c = 1.0;
  double d = 1.0 - (a + b) * x / (a + 1.0);
  if (std::fabs(d) < kTiny) d = kTiny;
  d = 1.0 / d;
  double h = d;
  for (int m = 1; m <= 10000; ++m) {
    const double m2 = 2.0 * m;
    double aa = m * (b - m) * x / ((a + m2 - 1.0) * (a + m2));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    h *= d * c;
    aa = -(a + m) * (a + b + m) * x / ((a + m2) * (a + m2 + 1.0));
    d = 1.0 + aa * d;
    if (std::fabs(d) < kTiny) d = kTiny;
    c = 1.0 + aa / c;
    if (std::fabs(c) < kTiny) c = kTiny;
    d = 1.0 / d;
    const double step = d * c;
    h *= step;
    if (std::fabs(step - 1.0) < kEpsilon) break;
  }
  return h;
}

double regularized_beta(double x, double a, double b) {
  if (x <= 0.0) return 0.0;
  if (x >= 1.0) return 1.0;
  const double front =
      std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
  if (x < (a + 1.0) / (a + b + 2.0)) return front * beta_fraction(x, a, b) / a;
  return 1.0 - front * beta_fraction(1.0 - x, b, a) / b;
}

double normal_cdf(double z) { return 0.5 * std::erfc(-z / std::sqrt(2.0)); }

// The density of Student's t, the slope Newton's steps in the quantile follow.
double student_t_pdf(double t, double df) {
  if (std::isinf(df)) return std::exp(-0.5 * t * t) / std::sqrt(2.0 * M_PI);
  return std::exp(std::lgamma(0.5 * (df + 1.0)) - std::lgamma(0.5 * df) - 0.5 * std::log(df * M_PI) -
                  0.5 * (df + 1.0) * std::log1p(t * t / df));
}

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
  if (std::isnan(t)) return t;
  if (std::isinf(df)) return normal_cdf(t);
  const double tail = 0.5 * regularized_beta(df / (df + t * t), df / 2.0, 0.5);
  return t >= 0.0 ? 1.0 - tail : tail;
}

double student_t_quantile(double p, double df) {
  if (!(p > 0.0 && p < 1.0) || !(df > 0.0)) return std::numeric_limits<double>::quiet_NaN();
  if (p < 0.5) return -student_t_quantile(1.0 - p, df);
  // Newton's steps on the distribution function, kept inside a bracket that
  // shrinks with every step and halved instead when a step would leave it:
  // a handful of evaluations where halving alone takes fifty, which matters
  // to `compare` and to the series estimate calling this for every series.
  double low = 0.0;
  double high = 1.0;
  while (student_t_cdf(high, df) < p && high < 1e300) {
    low = high;
    high *= 2.0;
  }
  double t = 0.5 * (low + high);
  for (int i = 0; i < 200; ++i) {
    const double excess = student_t_cdf(t, df) - p;
    if (excess == 0.0) break;
    (excess < 0.0 ? low : high) = t;
    double next = t - excess / student_t_pdf(t, df);
    if (!(next > low && next < high)) next = 0.5 * (low + high);
    const bool settled = std::fabs(next - t) <= 1e-15 * next;
    t = next;
    if (settled || high - low <= 1e-15 * high) break;
  }
  return t;
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
