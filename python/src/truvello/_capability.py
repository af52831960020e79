"""A run's capability: what the machine did while the host left it alone.

The same estimate as the truvello command's, in the same operations: the fast
cluster is the per-second rates at or above 92.5 % of their 90th percentile;
the capability is its median, with the order-statistic 95 % interval of that
median; the spell share is 1 - score / capability, the share of the rate the
host's slow spells took. Below six seconds in the fast cluster no such
interval reaches 95 %, and there is no capability, with the reason instead.
docs/statistics.md says why this estimate.
"""

from __future__ import annotations

import math
from dataclasses import dataclass
from typing import Optional, Sequence

from ._rate_stats import median, steady_samples
from ._values import Sample

FAST_QUANTILE = 0.9
FAST_CUT = 0.075
MIN_FAST_SECONDS = 6


@dataclass(frozen=True)
class Capability:
    """An estimated capability in operations per second, with its 95 % interval."""

    rate: float
    low: float
    high: float
    spell_share: Optional[float]  # None without a score to set against it
    fast_seconds: int


@dataclass(frozen=True)
class CapabilityEstimate:
    """A capability, or why there is none (`note`)."""

    value: Optional[Capability]
    note: Optional[str]


def quantile(ordered: Sequence[float], q: float) -> float:
    """The q-quantile of ascending values, interpolated linearly, as the command's."""
    if not ordered:
        return 0.0
    at = q * float(len(ordered) - 1)
    below = int(math.floor(at))
    above = min(below + 1, len(ordered) - 1)
    return ordered[below] + (at - float(below)) * (ordered[above] - ordered[below])


def fast_cluster(rates: Sequence[float]) -> list[float]:
    """The rates at or above the fast cut, ascending."""
    ordered = sorted(rates)
    if not ordered:
        return ordered
    cut = quantile(ordered, FAST_QUANTILE) * (1.0 - FAST_CUT)
    return [r for r in ordered if r >= cut]


def median_rank_interval(n: int) -> Optional[tuple[int, int]]:
    """The 0-based ranks of the narrowest symmetric interval holding the median of n values with 95 %."""
    if n < MIN_FAST_SECONDS:
        return None
    log_half = math.log(0.5) * float(n)
    lg_n1 = math.lgamma(float(n) + 1.0)
    below = 0.0
    k = 0
    for j in range(n // 2):
        below += math.exp(lg_n1 - math.lgamma(float(j) + 1.0) - math.lgamma(float(n - j) + 1.0) + log_half)
        if 2.0 * below > 0.05:
            break
        k = j
    return k, n - 1 - k


def spell_share(score: float, rate: float) -> Optional[float]:
    """1 - score / rate within [0, 1); None unless both are positive and finite."""
    if not (score > 0.0 and rate > 0.0 and math.isfinite(score) and math.isfinite(rate)):
        return None
    return min(max(1.0 - score / rate, 0.0), math.nextafter(1.0, 0.0))


def capability_of(rates: Sequence[float], score: float) -> CapabilityEstimate:
    """The capability of per-second rates; `score` (0 for none) is what the spell share is taken against."""
    fast = fast_cluster(rates)
    ranks = median_rank_interval(len(fast))
    if ranks is None:
        return CapabilityEstimate(
            None,
            f"too few seconds for a capability: {len(fast)} in the fast cluster, {MIN_FAST_SECONDS} needed",
        )
    rate = median(fast)
    return CapabilityEstimate(Capability(rate, fast[ranks[0]], fast[ranks[1]], spell_share(score, rate), len(fast)), None)


def run_capability(samples: Sequence[Sample], mean_rate: float) -> CapabilityEstimate:
    """A run's capability from its steady samples and its score."""
    return capability_of([s.rate for s in steady_samples(samples)], mean_rate)
