"""Running a benchmark: blocking (run, Run) and from asyncio (run_async).

Whoever waits for a run also calls its progress callable, so that user code
runs on the caller's thread (or the event loop), never on the library's.
Anything that interrupts the wait (Ctrl-C, an exception from the progress
callable, a cancelled task) cancels the run, waits for the library to return
and is then raised again: a run never outlives the call that waited for it,
and no exception is lost.
"""

from __future__ import annotations

import asyncio
import queue
from types import TracebackType
from typing import Callable, Optional, Type, Union

from ._config import BenchmarkChoice, Config, Seconds, config_record
from ._document import Result
from ._execution import FINISHED, Event, Execution
from ._library import load
from ._values import Progress

ProgressCallable = Callable[[Progress], object]
# What to run: a benchmark, or a whole Config; None is the library's default.
RunChoice = Union[BenchmarkChoice, Config, None]

# How long a blocked waiter sleeps between looks at the run: short enough that
# Ctrl-C is handled at once even where a wait could not be interrupted.
_POLL_SECONDS = 0.05


class Run:
    """A benchmark run in progress, started when the object is made.

    cancel() may be called from any thread; result() waits for the end,
    calling `progress` on the waiting thread. Leaving a `with` block cancels
    the run if it is still going and waits for it to end.
    """

    def __init__(
        self,
        benchmark: RunChoice = None,
        *,
        warmup: Optional[Seconds] = None,
        measure: Optional[Seconds] = None,
        progress: Optional[ProgressCallable] = None,
    ) -> None:
        record = config_record(benchmark, warmup, measure)
        self._progress = progress
        self._events: queue.SimpleQueue[Event] = queue.SimpleQueue()
        self._execution = Execution(load(), record, self._events.put)

    def cancel(self) -> None:
        """Asks the run to stop early; it then ends with status CANCELLED. Never waits."""
        self._execution.cancel()

    def done(self) -> bool:
        """Whether the run has ended."""
        return self._execution.finished

    def result(self) -> Result:
        """Waits for the end and returns the Result of a completed or cancelled run.

        Raises BenchmarkError when the run failed or its configuration was
        refused, and re-raises whatever interrupted the wait (KeyboardInterrupt,
        an exception from the progress callable) after cancelling the run and
        waiting for it to end.
        """
        interruption: Optional[BaseException] = None
        while True:
            try:
                if self._next_event(deliver=interruption is None):
                    break
            except BaseException as error:  # noqa: B902 - raised again below
                if interruption is None:
                    interruption = error
                    self._execution.cancel()
        # The run's thread has nothing left to do but end.
        self._execution.join()
        if interruption is not None:
            raise interruption
        return self._execution.outcome()

    def _next_event(self, deliver: bool) -> bool:
        """Handles at most one event; True once the run has ended and every event is handled."""
        try:
            event = self._events.get(timeout=_POLL_SECONDS)
        except queue.Empty:
            # The end is posted after the last event, but a waiter interrupted
            # right after taking it must not wait for it again.
            return self._execution.finished and self._events.empty()
        if event is FINISHED:
            # Left in place for every later waiter.
            self._events.put(FINISHED)
            return True
        if deliver and self._progress is not None and isinstance(event, Progress):
            self._progress(event)
        return False

    def __enter__(self) -> Run:
        return self

    def __exit__(
        self,
        exc_type: Optional[Type[BaseException]],
        exc: Optional[BaseException],
        traceback: Optional[TracebackType],
    ) -> None:
        if not self._execution.finished:
            self._execution.cancel()
            self._wait_quietly()

    def _wait_quietly(self) -> None:
        # Leaving the block already carries the caller's exception, if any;
        # the end of the run is waited for whatever else arrives meanwhile.
        interruption: Optional[BaseException] = None
        while True:
            try:
                if self._execution.wait(_POLL_SECONDS):
                    break
            except BaseException as error:  # noqa: B902
                interruption = interruption or error
        if interruption is not None:
            raise interruption


def run(
    benchmark: RunChoice = None,
    *,
    warmup: Optional[Seconds] = None,
    measure: Optional[Seconds] = None,
    progress: Optional[ProgressCallable] = None,
) -> Result:
    """Runs one benchmark and returns its Result (check `status`).

    `benchmark` is "single", "all-cpus", a Benchmark or a whole Config;
    `warmup` and `measure` are the phases' lengths in seconds, and override a
    Config's. Whatever is None is the library's default (default_config()).
    `progress`, if given, is called with each Progress on this thread. Ctrl-C
    cancels the run, waits for it to end and raises KeyboardInterrupt. A
    failed run or a refused configuration raises BenchmarkError.
    """
    with Run(benchmark, warmup=warmup, measure=measure, progress=progress) as current:
        return current.result()


async def run_async(
    benchmark: RunChoice = None,
    *,
    warmup: Optional[Seconds] = None,
    measure: Optional[Seconds] = None,
    progress: Optional[ProgressCallable] = None,
) -> Result:
    """run() for asyncio: the run goes on a worker thread, the event loop stays free.

    `progress` is called on the event loop's thread. Cancelling the awaiting
    task cancels the run; the task ends once the library has returned.
    """
    loop = asyncio.get_running_loop()
    events: asyncio.Queue[Event] = asyncio.Queue()

    def post(event: Event) -> None:
        try:
            loop.call_soon_threadsafe(events.put_nowait, event)
        except RuntimeError:
            pass  # the loop is closed: nobody waits for these events any more

    execution = Execution(load(), config_record(benchmark, warmup, measure), post)
    interruption: Optional[BaseException] = None
    while True:
        try:
            event = await events.get()
            if event is FINISHED:
                break
            if interruption is None and progress is not None and isinstance(event, Progress):
                progress(event)
        except BaseException as error:  # noqa: B902 - raised again below
            if interruption is None:
                interruption = error
                execution.cancel()
    if interruption is not None:
        raise interruption
    return execution.outcome()
