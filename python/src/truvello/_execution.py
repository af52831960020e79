"""One library run on a thread of its own.

truvello_run blocks for the whole run and calls the progress callback on the
thread that called it. Running it on a helper thread keeps the caller's thread
free: free to take Ctrl-C (Python delivers KeyboardInterrupt only to the main
thread, and only between bytecodes, never inside a foreign call), and free to
call the user's progress callable itself. The C callback therefore only turns
each record into a Progress and posts it; it never runs user code and never
lets an exception reach ctypes, which would print it and carry on.
"""

from __future__ import annotations

import atexit
import ctypes
import threading
from typing import Any, Callable, Optional, Union

from ._codes import Status
from ._errors import BenchmarkError
from ._library import Library
from ._records import ConfigRecord, ProgressFunction, ResultRecord, SampleRecord
from ._document import Result
from ._values import Progress, Sample


class Finished:
    """Posted once, after the last Progress of a run."""


FINISHED = Finished()
Event = Union[Progress, Finished]
Post = Callable[[Event], None]

# Runs still going; at interpreter exit they are cancelled and waited for, so
# that no callback reaches a finalising interpreter.
_running: set[Execution] = set()
_running_lock = threading.Lock()
# Bounds the wait at exit only against a hang; a cancelled run ends within
# milliseconds.
_EXIT_WAIT_SECONDS = 30.0


class Execution:
    """Owns one handle from truvello_create to truvello_free and the thread that runs it.

    The run starts when the object is made. `post` receives every Progress,
    then FINISHED; it is called on the run's thread and must not block.
    """

    def __init__(self, library: Library, config: ConfigRecord, post: Post) -> None:
        self._library = library
        self._config = config
        self._post = post
        # truvello_free must not overlap truvello_cancel: both happen under this lock.
        self._handle_lock = threading.Lock()
        self._handle: Any = library.create()
        # ctypes keeps no reference of its own: this one must outlive the run.
        self._callback = ProgressFunction(self._on_progress)
        self._outcome: Optional[Result] = None
        self._failure: Optional[BaseException] = None
        self._finished = threading.Event()
        # A daemon, so that a run left going does not hold up the interpreter's
        # exit for its whole length: the exit hook below cancels it instead.
        self._thread = threading.Thread(target=self._main, name="truvello run", daemon=True)
        with _running_lock:
            _running.add(self)
        try:
            self._thread.start()
        except BaseException:
            with _running_lock:
                _running.discard(self)
            library.free(self._handle)
            self._handle = None
            raise

    def cancel(self) -> None:
        """Asks the run to stop; does nothing once it has ended. Never waits."""
        with self._handle_lock:
            if self._handle is not None:
                self._library.cancel(self._handle)

    @property
    def finished(self) -> bool:
        return self._finished.is_set()

    def wait(self, timeout: Optional[float] = None) -> bool:
        """True once the run has ended and its outcome is collected."""
        return self._finished.wait(timeout)

    def outcome(self) -> Result:
        """The run's Result; raises BenchmarkError for a failed run. Only after the end."""
        if not self._finished.is_set():
            raise RuntimeError("the run has not ended yet")
        if self._failure is not None:
            raise self._failure
        assert self._outcome is not None
        if self._outcome.status == Status.FAILED:
            raise BenchmarkError(self._outcome.reason, self._outcome)
        return self._outcome

    def _main(self) -> None:
        try:
            self._library.run(self._handle, ctypes.byref(self._config), self._callback, None)
            self._outcome = self._collect()
        except BaseException as error:  # noqa: B902 - kept for the waiting thread
            if self._failure is None:
                self._failure = error
        finally:
            with self._handle_lock:
                self._library.free(self._handle)
                self._handle = None
            self._finished.set()
            with _running_lock:
                _running.discard(self)
            self._post(FINISHED)

    def _collect(self) -> Result:
        record = ResultRecord()
        if self._library.result(self._handle, ctypes.byref(record)) != 1:
            raise RuntimeError("truvello_run returned without storing an outcome")
        samples = []
        sample = SampleRecord()
        for index in range(int(record.sample_count)):
            if self._library.sample(self._handle, index, ctypes.byref(sample)) != 1:
                raise RuntimeError(f"truvello_sample refused index {index} of {record.sample_count}")
            samples.append(Sample.from_record(sample))
        reason = self._library.reason(self._handle)
        text = bytes(reason).decode("utf-8", errors="replace") if reason is not None else ""
        return Result.from_records(record, tuple(samples), text)

    def _on_progress(self, record: Any, _user_data: Any) -> None:
        # Runs on the run's thread, called from C: nothing may escape.
        try:
            self._post(Progress.from_record(record.contents))
        except BaseException as error:  # noqa: B902
            try:
                if self._failure is None:
                    self._failure = error
                # The handle is live: truvello_run has not returned.
                self._library.cancel(self._handle)
            except BaseException:  # noqa: B902
                pass

    def join(self, timeout: Optional[float] = None) -> None:
        self._thread.join(timeout)


def _cancel_all_at_exit() -> None:
    with _running_lock:
        running = list(_running)
    for execution in running:
        execution.cancel()
    for execution in running:
        execution.join(_EXIT_WAIT_SECONDS)


atexit.register(_cancel_all_at_exit)
