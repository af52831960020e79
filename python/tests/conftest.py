"""Shared fixtures. The tests import the installed package, never the source tree."""

from __future__ import annotations

import json
import os
import threading
from dataclasses import dataclass, field
from pathlib import Path
from typing import Any, Optional

import pytest
import truvello

REPO = Path(__file__).resolve().parents[2]
# Bounds every wait against a hang only; nothing here measures speed.
HANG_LIMIT = 20.0


def read_vectors(file: str) -> Any:
    """One file of testing/vectors: the cases the command's C++ tests read too."""
    return json.loads((REPO / "testing" / "vectors" / file).read_text(encoding="utf-8"))


# The library's reason texts by name, the one table every test that pins a
# reason reads.
REASONS: dict[str, str] = read_vectors("reasons.json")["reasons"]


def library_threads() -> list[str]:
    """Names of the library's worker threads alive in this process; [] once a run has returned."""
    names = []
    for task in os.listdir("/proc/self/task"):
        try:
            with open(f"/proc/self/task/{task}/comm", encoding="utf-8") as comm:
                name = comm.read().strip()
        except OSError:
            continue  # ended meanwhile
        if name.startswith("truvello-"):
            names.append(name)
    return names


@pytest.fixture(scope="session")
def repo() -> Path:
    return REPO


@pytest.fixture(scope="session")
def command() -> Path:
    """The built truvello command, named by TRUVELLO_COMMAND."""
    path = os.environ.get("TRUVELLO_COMMAND")
    if not path:
        pytest.skip("TRUVELLO_COMMAND is not set")
    if not os.access(path, os.X_OK):
        pytest.fail(f"TRUVELLO_COMMAND={path} is not an executable")
    return Path(path)


@dataclass
class Waiter:
    """A run with a thread blocked in result(), known to have started measuring."""

    run: truvello.Run
    thread: threading.Thread
    events: list[truvello.Progress] = field(default_factory=list)
    result: Optional[truvello.Result] = None
    error: Optional[BaseException] = None

    def join(self) -> None:
        self.thread.join(HANG_LIMIT)
        assert not self.thread.is_alive(), "the run did not end"


def start_waiter(benchmark: Any = "single", measure: float = 60.0) -> Waiter:
    """Starts a long run and returns once its first progress event has arrived."""
    started = threading.Event()
    events: list[truvello.Progress] = []

    def progress(event: truvello.Progress) -> None:
        events.append(event)
        started.set()

    run = truvello.Run(benchmark, warmup=0, measure=measure, progress=progress)
    waiter = Waiter(run, threading.Thread(target=lambda: None), events)

    def wait() -> None:
        try:
            waiter.result = run.result()
        except BaseException as error:  # noqa: B902 - inspected by the test
            waiter.error = error

    waiter.thread = threading.Thread(target=wait, name="test waiter")
    waiter.thread.start()
    if not started.wait(HANG_LIMIT):
        run.cancel()
        waiter.join()
        pytest.fail(f"no progress within {HANG_LIMIT} s: {waiter.error!r}")
    return waiter


@pytest.fixture
def waiter_factory() -> Any:
    """start_waiter, with every run it started cancelled and waited for afterwards."""
    started: list[Waiter] = []

    def factory(benchmark: Any = "single", measure: float = 60.0) -> Waiter:
        waiter = start_waiter(benchmark, measure)
        started.append(waiter)
        return waiter

    yield factory
    for waiter in started:
        waiter.run.cancel()
        waiter.join()


@pytest.fixture(scope="session")
def short_runs() -> list[truvello.Result]:
    """One short completed run of each benchmark, shared by the tests that only read results."""
    return [truvello.run(benchmark, warmup=0, measure=1.5) for benchmark in ("single", "all-cpus")]
