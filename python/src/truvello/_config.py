"""What to run: the arguments of run() turned into the library's configuration record.

Values are passed on unchanged wherever the record can hold them, so that the
library's own validation decides, and its reason text is what the caller sees
("unknown benchmark", "durations must be finite: ..."). Only what the record
cannot hold at all is mapped: a benchmark name or number the record has no
code for becomes selector 0, which the library rejects as unknown.

What the caller leaves out (None) is the library's own default, read from
truvello_default_config, so that the package never states those values itself.
"""

from __future__ import annotations

import ctypes
import math
from dataclasses import dataclass
from typing import Optional, Union

from ._codes import Benchmark
from ._library import load
from ._records import ConfigRecord

BenchmarkChoice = Union[Benchmark, str, int]
Seconds = Union[float, int]

_NAMES = {benchmark.key: benchmark for benchmark in Benchmark}
_U32_LIMIT = 1 << 32


@dataclass(frozen=True)
class Config:
    """A run's configuration: which benchmark and how long each phase lasts.

    run(), Run and run_async take one in place of a benchmark, e.g.
    dataclasses.replace(default_config(), measurement_seconds=10).
    """

    benchmark: Benchmark
    warmup_seconds: float
    measurement_seconds: float


def _library_defaults() -> ConfigRecord:
    record = ConfigRecord()
    if load().default_config(ctypes.byref(record)) != 1:
        raise RuntimeError("truvello_default_config refused a valid record")
    return record


def default_config() -> Config:
    """The library's defaults, as truvello_default_config gives them."""
    record = _library_defaults()
    return Config(Benchmark(record.benchmark), float(record.warmup_seconds), float(record.measurement_seconds))


def selector(benchmark: BenchmarkChoice) -> int:
    """The record's benchmark code for a Benchmark, its name or its number."""
    if isinstance(benchmark, bool):
        raise TypeError("benchmark must be a Benchmark, 'single', 'all-cpus' or an int, not bool")
    if isinstance(benchmark, str):
        known = _NAMES.get(benchmark)
        return int(known) if known is not None else 0
    if isinstance(benchmark, int):
        return int(benchmark) if 0 <= benchmark < _U32_LIMIT else 0
    raise TypeError(f"benchmark must be a Benchmark, 'single', 'all-cpus' or an int, not {type(benchmark).__name__}")


def seconds(value: Seconds, name: str) -> float:
    """A length in seconds as the record's double; the library judges its range."""
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{name} must be a number of seconds, not {type(value).__name__}")
    try:
        return float(value)
    except OverflowError:
        # An int too large for a double: as far out of range as infinity.
        return math.inf if value > 0 else -math.inf


def config_record(
    benchmark: Union[BenchmarkChoice, Config, None], warmup: Optional[Seconds], measure: Optional[Seconds]
) -> ConfigRecord:
    """The 32-byte record for one run.

    The library's defaults, then a Config's values if `benchmark` is one, then
    `warmup` and `measure` where given.
    """
    record = _library_defaults()
    if isinstance(benchmark, Config):
        record.benchmark = selector(benchmark.benchmark)
        record.warmup_seconds = seconds(benchmark.warmup_seconds, "Config.warmup_seconds")
        record.measurement_seconds = seconds(benchmark.measurement_seconds, "Config.measurement_seconds")
    elif benchmark is not None:
        record.benchmark = selector(benchmark)
    if warmup is not None:
        record.warmup_seconds = seconds(warmup, "warmup")
    if measure is not None:
        record.measurement_seconds = seconds(measure, "measure")
    return record
