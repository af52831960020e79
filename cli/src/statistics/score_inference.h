#pragma once

// The statistics behind `truvello compare`: how well a side's score is known,
// and whether two sides differ. Small pure functions over plain numbers.
//
// Everything happens on the logarithm of scores, where a ratio of scores is a
// difference and the spread of a rate is relative, as it is on a machine: a
// 5 % wobble is 5 % at any speed.

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "truvello.h"

namespace truvello::cli {

// One side's log score with the variance of that estimate and the degrees of
// freedom the variance was estimated with. A variance of zero (identical
// runs, or a perfectly flat series) is exact, with unbounded freedom.
struct LogScore {
  double estimate = 0.0;
  double variance = 0.0;
  double df = 0.0;
};

// How the interval was found.
enum class Method {
  kRunScores,   // two or more completed runs on each side: Welch over run scores
  kBatchMeans,  // one run on each side: batch means over the per-second samples
  kMixed,       // one side of each kind: each side's own estimate, combined as Welch
};
const char* method_key(Method method);  // "run-scores", "batch-means", "mixed"

enum class Verdict { kFaster, kSlower, kSame };
const char* verdict_key(Verdict verdict);  // "faster", "slower", "same"

// Candidate against baseline: the ratio of their scores and its interval.
struct RatioInterval {
  double ratio = 1.0;
  double low = 1.0;
  double high = 1.0;
  Verdict verdict = Verdict::kSame;
};

// The confidence of every interval the command gives.
inline constexpr double kConfidence = 0.95;

// The fewest batches a run's samples are cut into, and the shortest batch:
// a run of fewer than six whole seconds says nothing about its own spread
// and gets no interval.
inline constexpr std::size_t kMinBatches = 3;
inline constexpr std::size_t kMinBatchSeconds = 2;

// Batch means over one run's per-second samples. Neighbouring seconds are
// correlated (a clock that has just dropped stays low for a while), so they
// are never treated as independent draws: the n whole-second samples are cut
// into k = max(3, cbrt(n)) consecutive batches, each batch's score is taken
// as its operations over its time, and the spread of the k log batch scores
// gives the variance of the run's log score, with k - 1 degrees of freedom.
// Few, long batches keep the correlation inside each batch: with sqrt(n)
// batches of a 30 s window the interval held the truth in only 91 % of
// simulated pairs, with three it holds it in 95 %. `score` is the run's score
// (its own estimate). The closing partial sample, shorter than half a
// second, is left out of the batches. Absent with fewer than kMinBatches
// batches of kMinBatchSeconds.
std::optional<LogScore> batch_means(std::span<const truvello_sample_record> samples, double score);

// The scores of two or more independent runs: the mean of their logs (the
// log of their geometric mean), its variance s^2 / n and n - 1 degrees of
// freedom. Absent for fewer than two scores or a score that is not positive.
std::optional<LogScore> run_scores(std::span<const double> scores);

// The ratio candidate / baseline with a Student-t interval on the difference
// of log scores, its degrees of freedom by Welch and Satterthwaite. The
// verdict is "faster" or "slower" only when the interval excludes 1.
RatioInterval compare_log_scores(const LogScore& baseline, const LogScore& candidate);

// The p-quantile of Student's t distribution with df degrees of freedom
// (df > 0, not necessarily whole; infinite df gives the normal quantile).
// NaN for p outside (0, 1) or df not above 0.
double student_t_quantile(double p, double df);

// The cumulative distribution of Student's t; NaN for a NaN t or df not
// above 0.
double student_t_cdf(double t, double df);

}  // namespace truvello::cli
