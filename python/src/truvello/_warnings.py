"""The truvello command's warnings, in its words: those that follow from a run
alone, and those about the machine that can be read at any time.

The command also warns about the load before a run, CPU limits and thermal
throttling during it; those need readings taken around the run and are not
made up afterwards.
"""

from __future__ import annotations

import math
from typing import Any, Optional, Sequence

from ._rate_stats import rate_stats
from ._values import Outcome

DRIFT_LIMIT_PERCENT = 5.0
MIN_COMPARABLE_WINDOW = 10.0
# The library sets a result's unstable flag above this coefficient of
# variation; the package only words the limit, it never applies it.
UNSTABLE_CV_PERCENT = 10.0


def percent_text(percent: float) -> str:
    """"0.84 %", "12.3 %", "150 %": the precision that matters."""
    if not math.isfinite(percent):
        return "n/a"
    magnitude = abs(percent)
    if magnitude >= 99.95:
        return "%.0f %%" % percent
    if magnitude >= 9.995:
        return "%.1f %%" % percent
    return "%.2f %%" % percent


def length_text(seconds: float) -> str:
    """A planned length as a person says it: "2 s", "0.3 s", "120 s"."""
    if math.isnan(seconds):
        return "nan s"
    if math.isinf(seconds):
        return ("inf" if seconds > 0 else "-inf") + " s"
    return "%g s" % seconds


def unstable_warning(result: Outcome) -> Optional[dict[str, str]]:
    if not result.unstable:
        return None
    cv = result.cv_percent if result.cv_percent is not None else 0.0
    return {
        "code": "unstable",
        "message": "The run is unstable: the per-second rate varied by "
        + percent_text(cv)
        + " (coefficient of variation), more than the "
        + ("%g %%" % UNSTABLE_CV_PERCENT)
        + " a trustworthy score allows.",
    }


def drift_warning(result: Outcome) -> Optional[dict[str, str]]:
    stats = rate_stats(result.samples)
    if stats is None or stats.drift_percent is None:
        return None
    drift = stats.drift_percent
    if not abs(drift) > DRIFT_LIMIT_PERCENT:
        return None
    if drift < 0.0:
        return {
            "code": "drift",
            "message": "The rate fell by "
            + percent_text(-drift)
            + " from the first to the last third of the window: the CPU may be throttling or other work may have "
            "started.",
        }
    return {
        "code": "drift",
        "message": "The rate rose by "
        + percent_text(drift)
        + " from the first to the last third of the window: the machine was still settling or other work let go "
        "of the CPU.",
    }


def short_window_warning(result: Outcome) -> Optional[dict[str, str]]:
    if not result.measurement_seconds < MIN_COMPARABLE_WINDOW:
        return None
    return {
        "code": "short_window",
        "message": "The measurement window was "
        + length_text(result.measurement_seconds)
        + ": a comparable score needs at least "
        + length_text(MIN_COMPARABLE_WINDOW)
        + ".",
    }


def run_warnings(result: Outcome) -> list[dict[str, str]]:
    """The run's own warnings, in the command's order."""
    if result.workers == 0:
        return []
    found = (unstable_warning(result), drift_warning(result), short_window_warning(result))
    return [warning for warning in found if warning is not None]


def governor_warning(governors: Sequence[str]) -> Optional[dict[str, str]]:
    others = [name for name in governors if name != "performance"]
    if not others:
        return None
    listed = ", ".join(f'"{name}"' for name in others)
    return {
        "code": "governor",
        "message": f"The CPU frequency governor is {listed} rather than \"performance\", so the clock speed may "
        "change during the run.",
    }


def hypervisor_warning(hypervisor: bool) -> Optional[dict[str, str]]:
    if not hypervisor:
        return None
    return {
        "code": "hypervisor",
        "message": "This machine runs under a hypervisor: other guests on the same host can take CPU time and move "
        "the score.",
    }


def machine_warnings(machine: dict[str, Any]) -> list[dict[str, str]]:
    """Warnings about the machine, the same for every run, in the command's order."""
    found = (governor_warning(machine["governors"]), hypervisor_warning(machine["hypervisor"]))
    return [warning for warning in found if warning is not None]
