"""Every way a run can end, as a Python caller meets it."""

from __future__ import annotations

import dataclasses
import math
import os
import threading
import time
from typing import Any

import pytest
import truvello
from truvello import Benchmark, BenchmarkError, Phase, Status
from truvello._warnings import UNSTABLE_CV_PERCENT

from conftest import HANG_LIMIT, REASONS, library_threads

DURATIONS = REASONS["bad_durations"]
UNKNOWN = REASONS["unknown_benchmark"]


def check_tiling(result: truvello.Result) -> None:
    """The samples tile the measured window and add up to its operations."""
    assert result.samples
    start = 0.0
    for sample in result.samples:
        assert sample.dt > 0.0
        assert sample.t == pytest.approx(start + sample.dt, abs=1e-9)
        start = sample.t
    assert result.samples[-1].t == result.measured_seconds
    assert sum(s.ops for s in result.samples) == result.total_ops


def test_completed_runs_report_everything_the_library_stored(short_runs: list[truvello.Result]) -> None:
    single, all_cpus = short_runs
    assert (single.benchmark, single.workers) == (Benchmark.SINGLE, 1)
    assert (all_cpus.benchmark, all_cpus.workers) == (Benchmark.ALL_CPUS, os.sysconf("SC_NPROCESSORS_ONLN"))
    for result in short_runs:
        assert (result.status, result.reason) == (Status.COMPLETED, "")
        assert (result.warmup_seconds, result.measurement_seconds) == (0.0, 1.5)
        assert result.mean_rate == result.total_ops / result.measured_seconds > 0
        assert (result.cv_percent is None) == (len(result.samples) < 2)
        assert result.unstable == (result.cv_percent is not None and result.cv_percent > UNSTABLE_CV_PERCENT)
        assert 0 <= result.checksum < 2**64
        check_tiling(result)
        with pytest.raises(AttributeError):
            result.status = Status.FAILED  # type: ignore[misc]


def test_progress_is_called_on_the_calling_thread_in_phase_order() -> None:
    events: list[tuple[int, truvello.Progress]] = []
    result = truvello.run(
        Benchmark.SINGLE, warmup=0.3, measure=1.0, progress=lambda p: events.append((threading.get_ident(), p))
    )
    assert {ident for ident, _ in events} == {threading.get_ident()}
    phases = [p.phase for _, p in events]
    assert phases[0] == Phase.WARMUP and Phase.MEASUREMENT in phases
    assert phases == sorted(phases) and phases.count(Phase.DONE) == 1
    final = events[-1][1]
    assert (final.phase, final.fraction, final.ops, final.workers) == (Phase.DONE, 1.0, result.total_ops, 1)
    assert final.phase_elapsed_seconds == result.measured_seconds
    assert all(0.0 <= p.fraction <= 1.0 and p.phase_elapsed_seconds <= p.phase_seconds for _, p in events[:-1])


def test_cancel_from_another_thread_returns_within_a_second(waiter_factory: Any) -> None:
    waiter = waiter_factory("single", 60.0)
    began = time.monotonic()
    waiter.run.cancel()
    waiter.join()
    assert time.monotonic() - began < 1.0
    result = waiter.result
    assert waiter.error is None and result is not None
    assert (result.status, result.reason, result.mean_rate, result.cv_percent) == (
        Status.CANCELLED,
        REASONS["cancelled"],
        0.0,
        None,
    )
    assert waiter.events[-1].phase == Phase.CANCELLED
    waiter.run.cancel()  # after the end: no effect, no error
    assert waiter.run.result() == result


@pytest.mark.parametrize(
    "benchmark, warmup, measure, reason, workers",
    [
        ("single", 0, 0, DURATIONS, 0),
        ("single", -1e-300, 1, DURATIONS, 0),
        ("all-cpus", 0, math.nan, DURATIONS, 0),
        ("single", math.inf, 1, DURATIONS, 0),
        ("single", 10**400, 1, DURATIONS, 0),
        (7, 0, 1, UNKNOWN, 0),
        ("all_cpus", 0, 1, UNKNOWN, 0),
        (-1, 0, 1, UNKNOWN, 0),
        (2**32 + 1, 0, 1, UNKNOWN, 0),
        ("single", 0, 1e-10, REASONS["measurement_not_positive"], 0),
        # Fails once the worker is up, when the end of the window is computed.
        ("single", 0, 18446744073709549568.0, REASONS["beyond_clock"], 1),
    ],
    ids=lambda value: str(value)[:24],
)
def test_refused_configuration_raises_with_the_library_reason(
    benchmark: Any, warmup: Any, measure: Any, reason: str, workers: int
) -> None:
    calls: list[truvello.Progress] = []
    with pytest.raises(BenchmarkError) as raised:
        truvello.run(benchmark, warmup=warmup, measure=measure, progress=calls.append)
    error = raised.value
    assert (error.reason, str(error), error.args) == (reason, reason, (reason, error.result))
    assert (error.result.status, error.result.reason, error.result.workers) == (Status.FAILED, reason, workers)
    assert (error.result.samples, error.result.mean_rate, error.result.cv_percent) == ((), 0.0, None)
    assert calls == []


@pytest.mark.parametrize(
    "arguments",
    [
        {"benchmark": True},
        {"benchmark": 1.0},
        {"warmup": "5"},
        {"measure": [1]},
        {"benchmark": truvello.Config(Benchmark.SINGLE, "5", 1.0)},
    ],
)
def test_arguments_of_the_wrong_type_raise_type_error(arguments: dict[str, Any]) -> None:
    options: dict[str, Any] = {"warmup": 0, "measure": 1, **arguments}
    with pytest.raises(TypeError):
        truvello.run(**options)


def test_left_out_values_are_the_librarys_defaults_and_a_config_is_taken_whole() -> None:
    # Each run is cancelled at once: only the configuration it echoes matters.
    with truvello.Run() as run:
        pass
    defaults = truvello.default_config()
    result = run.result()
    assert (result.benchmark, result.warmup_seconds, result.measurement_seconds) == dataclasses.astuple(defaults)
    config = dataclasses.replace(defaults, benchmark=Benchmark.ALL_CPUS, measurement_seconds=0.5)
    with truvello.Run(config, warmup=0) as run:
        pass
    result = run.result()
    assert (result.benchmark, result.warmup_seconds, result.measurement_seconds) == (Benchmark.ALL_CPUS, 0.0, 0.5)


def test_a_second_run_while_one_is_active_is_refused(waiter_factory: Any) -> None:
    first = waiter_factory("single", 60.0)
    with pytest.raises(BenchmarkError) as raised:
        truvello.run("all-cpus", warmup=0, measure=1)
    assert raised.value.reason == REASONS["already_running"]
    assert raised.value.result.status == Status.FAILED
    assert not first.run.done()
    first.run.cancel()
    first.join()
    assert first.result is not None and first.result.status == Status.CANCELLED


def test_two_threads_racing_two_runs() -> None:
    barrier = threading.Barrier(2)
    lock = threading.Lock()
    runs: list[truvello.Run] = []
    outcomes: list[Any] = []

    def race() -> None:
        barrier.wait(HANG_LIMIT)
        run = truvello.Run("single", warmup=0, measure=60)
        with lock:
            runs.append(run)
        try:
            outcome: Any = run.result()
        except BenchmarkError as error:
            outcome = error
        with lock:
            outcomes.append(outcome)

    threads = [threading.Thread(target=race) for _ in range(2)]
    for t in threads:
        t.start()
    # Both runs exist and one has ended: the other holds the process until cancelled.
    deadline = time.monotonic() + HANG_LIMIT
    while not (outcomes and len(runs) == 2) and time.monotonic() < deadline:
        time.sleep(0.01)
    with lock:
        for run in runs:
            run.cancel()
    for t in threads:
        t.join(HANG_LIMIT)
    assert len(outcomes) == 2, "a run did not end"
    refused = [o for o in outcomes if isinstance(o, BenchmarkError)]
    finished = [o for o in outcomes if isinstance(o, truvello.Result)]
    assert [e.reason for e in refused] == [REASONS["already_running"]]
    assert [r.status for r in finished] == [Status.CANCELLED]


def test_exception_from_progress_cancels_the_run_and_is_raised_again() -> None:
    calls: list[truvello.Progress] = []
    problem = ValueError("the dashboard is gone")

    def progress(event: truvello.Progress) -> None:
        calls.append(event)
        raise problem

    began = time.monotonic()
    with pytest.raises(ValueError) as raised:
        truvello.run(warmup=0, measure=60, progress=progress)
    assert raised.value is problem
    assert time.monotonic() - began < HANG_LIMIT
    assert len(calls) == 1, "no progress after the callable failed"
    assert library_threads() == [], "run() returned before the library did"
    assert truvello.run(warmup=0, measure=0.2).status == Status.COMPLETED


def test_leaving_a_with_block_cancels_and_waits() -> None:
    with truvello.Run(warmup=0, measure=60) as run:
        assert not run.done()
    assert run.done() and library_threads() == []
    first = run.result()
    assert first.status == Status.CANCELLED
    assert first.reason in (REASONS["cancelled"], REASONS["cancelled_before_starting"])
    assert run.result() == first
