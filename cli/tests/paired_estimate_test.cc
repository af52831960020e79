// The paired statistics of `truvello ab` against pairs with a known truth:
// seeded log-normal runs of a side A of score 1 and a side B of score
// `ratio`, measured on a host whose speed may drop for a spell. Per case,
// thousands of series must find the true ratio, rarely call a difference
// that is not there, and never let a slow spell that covers both runs of a
// pair make a verdict, where measuring the sides one after the other does.
#include "statistics/paired_estimate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "seeded_normal.h"
#include "statistics/ab_order.h"

namespace truvello::cli {
namespace {

struct PairedCase {
  const char* name;
  double ratio;  // B / A, the truth
  double noise;  // run-to-run spread of a log score
  std::size_t pairs;
  // A spell over time slots [slow_from, slow_to) in which the host runs at
  // `slow` of its speed. Interleaved, pair k holds slots 2k (A) and 2k + 1
  // (B); one after the other, A holds slots 0 to n - 1 and B the rest.
  std::size_t slow_from = 0;
  std::size_t slow_to = 0;
  double slow = 1.0;
  // Least share of series with the right verdict (B faster or slower), or
  // for ratio 1 the most with any verdict.
  double verdicts;
  double least_covered;  // least share whose interval holds the truth
  // Least share of series measured one after the other, judged unpaired,
  // with a verdict (a wrong one, for ratio 1); 0 checks nothing.
  double sequential_verdicts = 0.0;
  // The pair split by the spell's start, which must be named in this least
  // share of series; none when the spell splits no pair.
  std::optional<std::size_t> split_pair = std::nullopt;
};

constexpr int kTrials = 2000;

const PairedCase kCases[] = {
    {"B 5 % slower, quiet host", 0.95, 0.01, 8, 0, 0, 1.0, 0.99, 0.92, 0.0, std::nullopt},
    {"B 3 % faster, noisy host", 1.03, 0.02, 8, 0, 0, 1.0, 0.65, 0.92, 0.0, std::nullopt},
    {"no difference", 1.0, 0.02, 8, 0, 0, 1.0, 0.06, 0.93, 0.0, std::nullopt},
    {"no difference, three pairs", 1.0, 0.02, 3, 0, 0, 1.0, 0.06, 0.93, 0.0, std::nullopt},
    {"no difference, a slow spell over three whole pairs", 1.0, 0.01, 8, 10, 16, 0.7, 0.06, 0.93, 0.95, std::nullopt},
    {"B 5 % slower through the same spell", 0.95, 0.01, 8, 10, 16, 0.7, 0.99, 0.92, 0.0, std::nullopt},
    {"no difference, a spell that begins between a pair's runs", 1.0, 0.01, 8, 9, 16, 0.7, 0.08, 0.90, 0.0, 4},
};

double host(const PairedCase& c, std::size_t slot) { return slot >= c.slow_from && slot < c.slow_to ? c.slow : 1.0; }

TEST(PairedEstimate, FindsTheTruthAndNeverASpellBothSidesShared) {
  for (const PairedCase& c : kCases) {
    SCOPED_TRACE(c.name);
    testing::SeededNormal normal(20261210);
    const Verdict right = c.ratio > 1.0 ? Verdict::kFaster : c.ratio < 1.0 ? Verdict::kSlower : Verdict::kSame;
    int verdicts = 0;
    int covered = 0;
    int sequential = 0;
    int named = 0;
    for (int trial = 0; trial < kTrials; ++trial) {
      std::vector<AbPair> interleaved;
      std::vector<AbPair> one_after_other(c.pairs);
      for (std::size_t k = 0; k < c.pairs; ++k) {
        const double a = std::exp(c.noise * normal());
        const double b = c.ratio * std::exp(c.noise * normal());
        interleaved.push_back(AbPair{k + 1, a * host(c, 2 * k), b * host(c, 2 * k + 1), 2 * k, 2 * k + 1});
        one_after_other[k].a = a * host(c, k);
        one_after_other[k].b = b * host(c, c.pairs + k);
      }
      const auto e = estimate_pairs(interleaved);
      ASSERT_TRUE(e && e->verdict);
      verdicts += c.ratio == 1.0 ? *e->verdict != Verdict::kSame : *e->verdict == right;
      covered += *e->ratio.low <= c.ratio && c.ratio <= *e->ratio.high;
      const auto unpaired = unpaired_interval(one_after_other);
      ASSERT_TRUE(unpaired);
      sequential += c.ratio == 1.0 ? unpaired->verdict != Verdict::kSame : unpaired->verdict == right;
      if (c.split_pair) {
        for (const DisturbedRun& d : e->ratio.disturbed) named += d.index == *c.split_pair;
      }
    }
    const double n = kTrials;
    if (c.ratio == 1.0) {
      EXPECT_LE(verdicts / n, c.verdicts);
    } else {
      EXPECT_GE(verdicts / n, c.verdicts);
    }
    EXPECT_GE(covered / n, c.least_covered);
    EXPECT_GE(sequential / n, c.sequential_verdicts);
    if (c.split_pair) {
      EXPECT_GE(named / n, 0.9);
    }
  }
}

TEST(PairedEstimate, PairsRunsByTheirPlaceAndSkipsAnIncompletePair) {
  Invocation inv;
  inv.ab.emplace().order = "BAABBA";
  const double scores[] = {110.0, 100.0, 100.0, 0.0, 121.0, 110.0};  // the fourth run failed
  for (const double s : scores) {
    RunOutcome run;
    run.status = s > 0.0 ? TRUVELLO_STATUS_COMPLETED : TRUVELLO_STATUS_FAILED;
    if (s > 0.0) {
      run.result.emplace();
      run.result->mean_rate = s;
    }
    inv.runs.push_back(run);
  }
  const std::vector<AbPair> pairs = ab_pairs(inv);
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0].number, 1u);
  EXPECT_EQ(pairs[0].a_run, 1u);
  EXPECT_EQ(pairs[0].b_run, 0u);
  EXPECT_EQ(pairs[1].number, 3u);
  EXPECT_EQ(pairs[1].b / pairs[1].a, 121.0 / 110.0);

  // One pair: a ratio, no interval and no verdict; nothing or a bad score: nothing.
  const auto one = estimate_pairs(std::span(pairs).first(1));
  ASSERT_TRUE(one);
  EXPECT_DOUBLE_EQ(one->ratio.score, 1.1);
  EXPECT_FALSE(one->ratio.low || one->verdict);
  EXPECT_FALSE(unpaired_interval(std::span(pairs).first(1)));
  EXPECT_FALSE(estimate_pairs({}));
  const AbPair bad[] = {{1, 100.0, NAN, 0, 1}};
  EXPECT_FALSE(estimate_pairs(bad));
}

TEST(AbOrder, OneSeededBlockRepeatedSoThatPairsAlternateTheSameEverywhere) {
  // Pinned: the same seed must give the same order on every platform.
  EXPECT_EQ(ab_order(7, 3), "BAABBA");
  bool starts[2] = {false, false};
  for (std::uint32_t seed = 0; seed < 32; ++seed) {
    const std::string order = ab_order(seed, 7);
    ASSERT_EQ(order.size(), 14u);
    EXPECT_EQ(order, ab_order(seed, 7));
    starts[order[0] == 'A'] = true;
    for (std::size_t k = 0; k < 7; ++k) {
      EXPECT_NE(order[2 * k], order[2 * k + 1]) << order;
      if (k > 0) {
        EXPECT_NE(order[2 * k], order[2 * k - 2]) << "pairs alternate AB, BA: " << order;
      }
    }
    EXPECT_TRUE(order.substr(0, 4) == "ABBA" || order.substr(0, 4) == "BAAB") << order;
  }
  EXPECT_TRUE(starts[0] && starts[1]) << "either block may come first";
}

}  // namespace
}  // namespace truvello::cli
