"""The figures and warnings the command derives the same way, checked against
the cases its C++ tests read too (testing/vectors): a rule changed here and not
there fails this test or the command's, whichever side left the vectors behind.
"""

from __future__ import annotations

import dataclasses
from typing import Any, Callable

import pytest
import truvello
from truvello import Benchmark, Sample, Status
from truvello import _document, _rate_stats, _warnings

from conftest import read_vectors


def samples_of(case: dict[str, Any]) -> tuple[Sample, ...]:
    """One sample a second for each of "rates", then each of "samples" as [t, dt, ops, rate]."""
    per_second = [Sample(float(i + 1), 1.0, int(rate), float(rate)) for i, rate in enumerate(case.get("rates", []))]
    return tuple(per_second + [Sample(*s) for s in case.get("samples", [])])


def result_of(case: dict[str, Any], benchmark: Benchmark = Benchmark.SINGLE) -> truvello.Result:
    """A Result with what a case says of the run."""
    return truvello.Result(
        status=Status[case.get("status", "completed").upper()],
        benchmark=benchmark,
        workers=case.get("workers", 1),
        mean_rate=case.get("mean_rate", 0.0),
        warmup_seconds=0.0,
        measurement_seconds=case.get("measurement_seconds", 0.0),
        measured_seconds=case.get("measurement_seconds", 0.0),
        cv_percent=case.get("cv_percent"),
        total_ops=0,
        checksum=0,
        unstable=case.get("unstable", False),
        reason="",
        samples=samples_of(case),
    )


def named(cases: list[dict[str, Any]]) -> Any:
    return pytest.mark.parametrize("case", cases, ids=[c["name"] for c in cases])


@named(read_vectors("derived.json")["rate_stats"])
def test_rate_stats(case: dict[str, Any]) -> None:
    stats = _rate_stats.rate_stats(samples_of(case))
    assert (dataclasses.asdict(stats) if stats else None) == case["expect"]


@named(read_vectors("derived.json")["capability"])
def test_capability(case: dict[str, Any]) -> None:
    estimate = result_of(case).capability
    c = estimate.value
    got = {
        "capability": c.rate if c else None,
        "capability_ci_low": c.low if c else None,
        "capability_ci_high": c.high if c else None,
        "spell_share": c.spell_share if c else None,
        "capability_note": estimate.note,
    }
    assert got == case["expect"]


@named(read_vectors("derived.json")["scaling"])
def test_scaling(case: dict[str, Any]) -> None:
    runs = [result_of(case["single"], Benchmark.SINGLE), result_of(case["all_cpus"], Benchmark.ALL_CPUS)]
    assert _document.scaling(runs) == case["expect"]


RULES: dict[str, Callable[[dict[str, Any]], Any]] = {
    "drift": lambda c: _warnings.drift_warning(result_of(c)),
    "unstable": lambda c: _warnings.unstable_warning(result_of(c)),
    "short_window": lambda c: _warnings.short_window_warning(result_of(c)),
    "governor": lambda c: _warnings.governor_warning(c["governors"]),
    "hypervisor": lambda c: _warnings.hypervisor_warning(c["hypervisor"]),
    "run": lambda c: [w["code"] for w in _warnings.run_warnings(result_of(c))],
}
WARNINGS = read_vectors("warnings.json")


def test_every_shared_warning_rule_is_implemented_here() -> None:
    assert sorted(WARNINGS) == sorted(RULES)


@pytest.mark.parametrize(
    "rule, case",
    [(rule, case) for rule in RULES for case in WARNINGS.get(rule, [])],
    ids=[f"{rule}: {case['name']}" for rule in RULES for case in WARNINGS.get(rule, [])],
)
def test_warnings(rule: str, case: dict[str, Any]) -> None:
    assert RULES[rule](case) == case["expect"]
