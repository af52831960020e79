"""Ctrl-C reaching a Python process that waits in run()."""

from __future__ import annotations

import os
import signal
import subprocess
import sys
import threading
from pathlib import Path

from conftest import HANG_LIMIT

CHILD = r"""
import os, sys, truvello

def progress(event):
    if not progress.told:
        progress.told = True
        print("measuring", flush=True)
progress.told = False

try:
    truvello.run(warmup=0, measure=60, progress=progress)
    print("not interrupted")
except KeyboardInterrupt:
    # run() has waited for the library: its workers are joined, and the
    # process may start the next run at once.
    workers = [open(f"/proc/self/task/{t}/comm").read().strip() for t in os.listdir("/proc/self/task")]
    print("interrupted", [w for w in workers if w.startswith("truvello-")])
    print(truvello.run(warmup=0, measure=0.2).status.name)
    sys.exit(0)
sys.exit(1)
"""


def restore_sigint() -> None:
    signal.signal(signal.SIGINT, signal.SIG_DFL)


def test_sigint_cancels_the_run_and_raises_keyboard_interrupt(tmp_path: Path) -> None:
    child = subprocess.Popen(
        [sys.executable, "-c", CHILD],
        cwd=tmp_path,
        stdout=subprocess.PIPE,
        stderr=subprocess.PIPE,
        text=True,
        # As from a terminal: a test runner started in the background inherits
        # SIGINT ignored, and Python then never raises KeyboardInterrupt.
        preexec_fn=restore_sigint,
    )
    # Bounds the blocking read below, should the child never start measuring.
    guard = threading.Timer(HANG_LIMIT, child.kill)
    guard.start()
    try:
        assert child.stdout is not None
        assert child.stdout.readline() == "measuring\n"
        os.kill(child.pid, signal.SIGINT)
        out, err = child.communicate(timeout=HANG_LIMIT)
    finally:
        guard.cancel()
        child.kill()
        child.wait()
    assert child.returncode == 0, err
    assert out == "interrupted []\nCOMPLETED\n"


def test_interpreter_exit_cancels_a_run_left_running(tmp_path: Path) -> None:
    code = "import truvello, time\ntruvello.Run('all-cpus', warmup=0, measure=60)\ntime.sleep(0.5)\n"
    child = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=HANG_LIMIT)
    assert (child.returncode, child.stderr) == (0, "")
