"""The library's codes as Python enums; the values are the C interface's."""

from __future__ import annotations

from enum import IntEnum


class Status(IntEnum):
    """How a run ended (TRUVELLO_STATUS_*)."""

    COMPLETED = 0
    CANCELLED = 1
    FAILED = 2

    @property
    def text(self) -> str:
        """"completed", "cancelled" or "failed", as the command's exports say it."""
        return self.name.lower()


class Phase(IntEnum):
    """Where a run is, as a progress event says (TRUVELLO_PHASE_*)."""

    WARMUP = 1
    MEASUREMENT = 2
    DONE = 3
    CANCELLED = 4
    FAILED = 5


class Benchmark(IntEnum):
    """Which benchmark to run (TRUVELLO_BENCHMARK_*)."""

    SINGLE = 1
    """One worker thread."""
    ALL_CPUS = 2
    """One worker thread per online CPU."""

    @property
    def key(self) -> str:
        """"single" or "all-cpus": the name in exported documents."""
        return "all-cpus" if self is Benchmark.ALL_CPUS else "single"
