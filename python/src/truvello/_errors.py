"""The exception a failed or refused run raises."""

from __future__ import annotations

from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from ._document import Result


class BenchmarkError(Exception):
    """A run failed, or the library refused its configuration.

    `reason` is the library's reason text, exactly; `result` is the run's
    outcome (status FAILED, and whatever the run got to measure).
    """

    def __init__(self, reason: str, result: Result) -> None:
        super().__init__(reason, result)
        self.reason = reason
        self.result = result

    def __str__(self) -> str:
        return self.reason
