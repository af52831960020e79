"""Figures derived from a run's samples, computed as the truvello command does.

The same operations in the same order as the command's C++, so that a saved
document carries the same numbers for the same samples.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, Sequence

from ._values import Sample

# The fewest samples for which thirds of the window are worth comparing.
MIN_SAMPLES_FOR_DRIFT = 3
_HALF_SECOND = 0.5


@dataclass(frozen=True)
class RateStats:
    median: float
    min: float
    max: float
    first_third: Optional[float]
    last_third: Optional[float]
    drift_percent: Optional[float]


def steady_samples(samples: Sequence[Sample]) -> list[Sample]:
    """The samples of at least half a second; all of them if none is that long.

    The window closes with a partial sample whose rate, over a sliver of time,
    is mostly rounding noise.
    """
    kept = [s for s in samples if s.dt >= _HALF_SECOND]
    return kept if kept else list(samples)


def median(values: Sequence[float]) -> float:
    if not values:
        return 0.0
    ordered = sorted(values)
    mid = len(ordered) // 2
    if len(ordered) % 2 == 1:
        return ordered[mid]
    return (ordered[mid - 1] + ordered[mid]) / 2.0


def rate_between(samples: Sequence[Sample], start: float, stop: float) -> Optional[float]:
    """Operations per second over [start, stop], each sample counted by its overlap."""
    if not stop > start:
        return None
    ops = 0.0
    covered = 0.0
    for s in samples:
        if not s.dt > 0.0:
            continue
        begin = s.t - s.dt
        overlap = min(s.t, stop) - max(begin, start)
        if overlap <= 0.0:
            continue
        ops += float(s.ops) * (overlap / s.dt)
        covered += overlap
    if not covered > 0.0:
        return None
    return ops / covered


def rate_stats(samples: Sequence[Sample]) -> Optional[RateStats]:
    """Median, minimum and maximum of the steady samples, and the drift between thirds."""
    if not samples:
        return None
    rates = [s.rate for s in steady_samples(samples)]
    first_third: Optional[float] = None
    last_third: Optional[float] = None
    drift: Optional[float] = None
    if len(samples) >= MIN_SAMPLES_FOR_DRIFT:
        window = samples[-1].t
        first_third = rate_between(samples, 0.0, window / 3.0)
        last_third = rate_between(samples, window * 2.0 / 3.0, window)
        if first_third is not None and last_third is not None and first_third > 0.0:
            drift = (last_third - first_third) / first_third * 100.0
    return RateStats(median(rates), min(rates), max(rates), first_third, last_third, drift)
