#!/usr/bin/env python3
"""A slowdown of known size for the A/B benchmark: stops a process with
SIGSTOP for DUTY of every PERIOD and lets it run the rest, until told to end.

  pauser.py start STATE PID DUTY [PERIOD_MS]   # ends any pauser of STATE, starts one
  pauser.py stop STATE                         # ends it and waits until it is gone

A process stopped 5 ms of every 100 ms does 5 % less in a window of wall
time: its rate falls to 0.95 of what it was, whatever the machine. On its way
out the pauser always sends SIGCONT, so the process is never left stopped.

On a busy machine the pauser itself may wait for a CPU before it can send
SIGCONT, and then holds the process stopped longer than asked. It asks for a
real-time priority where it may (root), and in any case appends the time it
held the process stopped and the time it ran to STATE/held, so that the share
actually held can be reported beside the one asked for.
"""
import os
import signal
import sys
import time


class End(Exception):
    pass


def _end(signo, frame):
    raise End()


def run(pid, duty, period, state):
    signal.signal(signal.SIGTERM, _end)
    try:
        os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    except (PermissionError, OSError, AttributeError):
        pass
    stopped = period * duty
    running = period - stopped
    began = time.monotonic()
    held = 0.0
    try:
        next_stop = time.monotonic() + running
        while True:
            time.sleep(max(0.0, next_stop - time.monotonic()))
            os.kill(pid, signal.SIGSTOP)
            at = time.monotonic()
            try:
                time.sleep(stopped)
            finally:
                os.kill(pid, signal.SIGCONT)
                held += time.monotonic() - at
            next_stop += period
    except (End, ProcessLookupError):
        pass
    finally:
        try:
            os.kill(pid, signal.SIGCONT)
        except ProcessLookupError:
            pass
        with open(os.path.join(state, "held"), "a") as f:
            f.write(f"{held} {time.monotonic() - began}\n")


def alive(pid):
    """Running, or stopped; not a zombie its new parent has yet to reap."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False


def stop(state):
    path = os.path.join(state, "pauser.pid")
    try:
        with open(path) as f:
            pid = int(f.read())
    except (FileNotFoundError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    while alive(pid):  # gone, so that it cannot stop the next run
        time.sleep(0.005)
    os.unlink(path)


def main(argv):
    if len(argv) >= 2 and argv[0] == "stop":
        stop(argv[1])
        return 0
    if len(argv) in (4, 5) and argv[0] == "start":
        state, pid, duty = argv[1], int(argv[2]), float(argv[3])
        period = (float(argv[4]) if len(argv) == 5 else 100.0) / 1000.0
        stop(state)
        child = os.fork()
        if child:
            with open(os.path.join(state, "pauser.pid"), "w") as f:
                f.write(str(child))
            return 0
        os.setsid()
        devnull = os.open(os.devnull, os.O_RDWR)
        for fd in (0, 1, 2):
            os.dup2(devnull, fd)
        run(pid, duty, period, state)
        os._exit(0)
    print(__doc__, file=sys.stderr)
    return 64


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
