"""run_async: the event loop stays free, and a cancelled task cancels the run."""

from __future__ import annotations

import asyncio
import threading

import pytest
import truvello
from truvello import Phase, Status

from conftest import HANG_LIMIT, REASONS, library_threads


def test_run_async_reports_progress_on_the_loop_thread() -> None:
    async def main() -> tuple[truvello.Result, set[int], int, list[truvello.Progress]]:
        events: list[truvello.Progress] = []
        threads: set[int] = set()
        ticks = 0

        def progress(event: truvello.Progress) -> None:
            threads.add(threading.get_ident())
            events.append(event)

        task = asyncio.ensure_future(truvello.run_async("single", warmup=0, measure=1.0, progress=progress))
        while not task.done():
            ticks += 1
            await asyncio.sleep(0.01)
        return task.result(), threads, ticks, events

    result, threads, ticks, events = asyncio.run(asyncio.wait_for(main(), HANG_LIMIT))
    assert result.status == Status.COMPLETED
    assert threads == {threading.get_ident()}
    assert ticks > 10, "the loop was blocked during the run"
    assert events[-1].phase == Phase.DONE


def test_cancelling_the_task_cancels_the_run_and_waits_for_it() -> None:
    async def main() -> list[truvello.Progress]:
        events: list[truvello.Progress] = []
        measuring = asyncio.Event()

        def progress(event: truvello.Progress) -> None:
            events.append(event)
            measuring.set()

        task = asyncio.ensure_future(truvello.run_async("all-cpus", warmup=0, measure=60, progress=progress))
        await asyncio.wait_for(measuring.wait(), HANG_LIMIT)
        task.cancel()
        with pytest.raises(asyncio.CancelledError):
            await asyncio.wait_for(task, HANG_LIMIT)
        assert task.cancelled()
        # The task ended after the library returned: its workers are joined,
        # and the next run is not refused.
        assert library_threads() == []
        again = await truvello.run_async("single", warmup=0, measure=0.2)
        assert again.status == Status.COMPLETED
        return events

    events = asyncio.run(main())
    assert events and all(e.phase == Phase.MEASUREMENT for e in events)


def test_run_async_raises_benchmark_error() -> None:
    with pytest.raises(truvello.BenchmarkError) as raised:
        asyncio.run(truvello.run_async("single", warmup=-1, measure=1))
    assert raised.value.reason == REASONS["bad_durations"]
