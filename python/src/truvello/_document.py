"""Results as the truvello command's JSON document, which its readers accept.

Everything the package saves is written here. One run is one entry of "runs"
(Result.to_dict); save_json writes a whole document around them. Non-finite
numbers become null, as in the command.
"""

from __future__ import annotations

import json
import math
import os
import time
from dataclasses import dataclass
from typing import Any, Iterable, Optional, Sequence, Union

from ._capability import CapabilityEstimate, run_capability
from ._codes import Benchmark, Status
from ._library import abi_version, version
from ._machine import machine
from ._rate_stats import rate_stats
from ._version import VERSION
from ._records import ABI_VERSION, CONFIG_SIZE
from ._values import Outcome
from ._warnings import machine_warnings, run_warnings

SCHEMA_VERSION = 2
COMMAND_NAME = "truvello-python"


@dataclass(frozen=True)
class Result(Outcome):
    """The outcome of one run, as the library stored it."""

    def to_dict(self, repeat: int = 1) -> dict[str, Any]:
        """This run as one entry of "runs" in the truvello command's JSON document.

        `repeat` is the run's 1-based place in its benchmark's series. Only
        figures that follow from the run itself are derived; warnings about
        the machine need a whole document (save_json).
        """
        return run_entry(self, repeat)

    @property
    def capability(self) -> CapabilityEstimate:
        """What the machine did between the host's slow spells: the median of
        the run's fast seconds with its 95 % interval, and the share of the
        rate the spells took; or, in `note`, why there is none (too few fast
        seconds). The score, mean_rate, is what a user of the machine gets;
        the capability is what it can do when left alone."""
        return run_capability(self.samples, self.mean_rate)


def _number(value: Optional[float]) -> Optional[float]:
    return value if value is not None and math.isfinite(value) else None


def _config(result: Outcome) -> dict[str, Any]:
    return {
        "abi_version": ABI_VERSION,
        "struct_size": CONFIG_SIZE,
        "benchmark": int(result.benchmark),
        "reserved": 0,
        "warmup_seconds": _number(result.warmup_seconds),
        "measurement_seconds": _number(result.measurement_seconds),
    }


def _result_record(result: Outcome) -> dict[str, Any]:
    # Every field of the C record, absent values as the record holds them.
    return {
        "abi_version": ABI_VERSION,
        "status": int(result.status),
        "benchmark": int(result.benchmark),
        "workers": result.workers,
        "mean_rate": _number(result.mean_rate),
        "warmup_seconds": _number(result.warmup_seconds),
        "measurement_seconds": _number(result.measurement_seconds),
        "measured_seconds": _number(result.measured_seconds),
        "cv_percent": _number(result.cv_percent if result.cv_percent is not None else 0.0),
        "total_ops": result.total_ops,
        "checksum": result.checksum,
        "sample_count": len(result.samples),
        "unstable": 1 if result.unstable else 0,
        "cv_valid": 1 if result.cv_percent is not None else 0,
    }


def _derived(result: Outcome) -> dict[str, Any]:
    stats = rate_stats(result.samples)
    estimate = run_capability(result.samples, result.mean_rate)
    c = estimate.value
    return {
        "capability": _number(c.rate) if c else None,
        "capability_ci_low": _number(c.low) if c else None,
        "capability_ci_high": _number(c.high) if c else None,
        "spell_share": _number(c.spell_share) if c else None,
        "capability_note": estimate.note,
        "checksum_hex": f"0x{result.checksum:016x}",
        "median_rate": _number(stats.median) if stats else None,
        "min_rate": _number(stats.min) if stats else None,
        "max_rate": _number(stats.max) if stats else None,
        "first_third_rate": _number(stats.first_third) if stats else None,
        "last_third_rate": _number(stats.last_third) if stats else None,
        "drift_percent": _number(stats.drift_percent) if stats else None,
    }


def run_entry(result: Outcome, repeat: int = 1) -> dict[str, Any]:
    """One entry of "runs": the run's name, configuration, outcome, derived figures and samples."""
    if isinstance(repeat, bool) or not isinstance(repeat, int) or repeat < 1:
        raise ValueError(f"repeat must be a whole number from 1, not {repeat!r}")
    return {
        "name": result.benchmark.key,
        "repeat": repeat,
        "config": _config(result),
        "status": int(result.status),
        "status_text": Status(result.status).text,
        "result": _result_record(result),
        "reason": result.reason,
        "derived": _derived(result),
        "warnings": run_warnings(result),
        # The command reads the workers from /proc while a run lasts; the
        # package does not, and says so.
        "observed": None,
        "samples": [
            {"t": _number(s.t), "dt": _number(s.dt), "ops": s.ops, "rate": _number(s.rate)} for s in result.samples
        ],
    }


def scaling(results: Sequence[Outcome]) -> Optional[dict[str, Any]]:
    """Speed-up of all CPUs over one worker, from the first run of each benchmark, when both completed."""
    single = next((r for r in results if r.benchmark == Benchmark.SINGLE), None)
    all_cpus = next((r for r in results if r.benchmark == Benchmark.ALL_CPUS), None)
    if single is None or all_cpus is None:
        return None
    if single.status != Status.COMPLETED or all_cpus.status != Status.COMPLETED:
        return None
    if not single.mean_rate > 0.0 or not all_cpus.mean_rate > 0.0 or all_cpus.workers == 0:
        return None
    return {
        "speedup": all_cpus.mean_rate / single.mean_rate,
        "workers": all_cpus.workers,
        "efficiency": all_cpus.mean_rate / (float(all_cpus.workers) * single.mean_rate),
    }


def document(results: Iterable[Result]) -> dict[str, Any]:
    """A whole document: versions, machine, every run numbered within its benchmark, scaling."""
    runs = list(results)
    for r in runs:
        if not isinstance(r, Result):
            raise TypeError(f"save_json takes Result values, not {type(r).__name__}")
    facts = machine()
    counts: dict[Benchmark, int] = {}
    entries = []
    for r in runs:
        counts[r.benchmark] = counts.get(r.benchmark, 0) + 1
        entry = run_entry(r, counts[r.benchmark])
        entry["warnings"] += machine_warnings(facts)
        entries.append(entry)
    return {
        "schema_version": SCHEMA_VERSION,
        "command": {"name": COMMAND_NAME, "version": VERSION},
        "library": {"version": version(), "abi_version": abi_version()},
        "machine": facts,
        "runs": entries,
        "scaling": scaling(runs),
        "end_time": int(time.time()),
    }


def save_json(path: Union[str, "os.PathLike[str]"], results: Iterable[Result]) -> None:
    """Writes `results` as a truvello JSON document to `path` (replacing it)."""
    text = json.dumps(document(results), indent=2, sort_keys=True, ensure_ascii=False, allow_nan=False)
    with open(path, "w", encoding="utf-8") as out:
        out.write(text + "\n")
