"""The outcome of a run and the events on the way, as immutable Python values.

Nothing here knows the rules that derive figures and warnings from them, nor
how they are saved: those modules import this one, never the other way.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, TypeVar

from ._codes import Benchmark, Phase, Status
from ._records import ProgressRecord, ResultRecord, SampleRecord


@dataclass(frozen=True)
class Sample:
    """One interval of the measurement window; the samples tile it in order."""

    t: float
    """End of the interval, seconds from the start of the window."""
    dt: float
    """Length of the interval in seconds, > 0."""
    ops: int
    """Operations in the interval, all workers together."""
    rate: float
    """ops / dt, operations per second."""

    @classmethod
    def from_record(cls, record: SampleRecord) -> Sample:
        return cls(float(record.t), float(record.dt), int(record.ops), float(record.rate))


@dataclass(frozen=True)
class Progress:
    """Where a run is: one event, delivered to the progress callable."""

    phase: Phase
    workers: int
    fraction: float
    """Share of the planned run time, 0 to 1."""
    phase_elapsed_seconds: float
    phase_seconds: float
    ops: int
    """Operations so far in the current phase."""

    @classmethod
    def from_record(cls, record: ProgressRecord) -> Progress:
        return cls(
            Phase(record.phase),
            int(record.workers),
            float(record.fraction),
            float(record.phase_elapsed_seconds),
            float(record.phase_seconds),
            int(record.ops),
        )


OutcomeType = TypeVar("OutcomeType", bound="Outcome")


@dataclass(frozen=True)
class Outcome:
    """The outcome of one run, as the library stored it: the fields of a Result."""

    status: Status
    benchmark: Benchmark
    workers: int
    mean_rate: float
    """Operations per second; 0.0 unless the run completed."""
    warmup_seconds: float
    measurement_seconds: float
    measured_seconds: float
    cv_percent: Optional[float]
    """Coefficient of variation of the sample rates; None when the library has none."""
    total_ops: int
    checksum: int
    unstable: bool
    reason: str
    """"" for a completed run, the library's reason text otherwise."""
    samples: tuple[Sample, ...]

    @classmethod
    def from_records(
        cls: type[OutcomeType], record: ResultRecord, samples: tuple[Sample, ...], reason: str
    ) -> OutcomeType:
        return cls(
            status=Status(record.status),
            benchmark=Benchmark(record.benchmark),
            workers=int(record.workers),
            mean_rate=float(record.mean_rate),
            warmup_seconds=float(record.warmup_seconds),
            measurement_seconds=float(record.measurement_seconds),
            measured_seconds=float(record.measured_seconds),
            cv_percent=float(record.cv_percent) if record.cv_valid else None,
            total_ops=int(record.total_ops),
            checksum=int(record.checksum),
            unstable=bool(record.unstable),
            reason=reason,
            samples=samples,
        )
