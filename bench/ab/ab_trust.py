#!/usr/bin/env python3
"""How far `truvello ab` can be trusted, on real runs of this machine.

Three scenarios, each a number of A/B series of short single-worker runs:

- A/A: the same setup on both sides. Any verdict is a false one; the share
  of series with one should stay at or below 5 %.
- B slowed by 5 % and by 10 %: the setup of B starts a pauser that stops the
  command (SIGSTOP) for 5 or 10 ms of every 100 ms, the setup of A and the
  restore end it. The share of series that find B slower is the detection.

For every series it also takes, from the same runs, the unpaired interval
(Welch over each side's run scores, as comparing two separate series would)
and compares the median widths: what the pairing buys on this machine.

  ab_trust.py --command build/dev/cli/truvello [--series 20] [--slow-series 10]
              [--pairs 6] [--warmup 0.5] [--measure 2] [--smoke]
"""
import argparse
import json
import os
import shlex
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def one_series(args, seed, state, duty):
    pauser = shlex.quote(os.path.join(HERE, "pauser.py"))
    stop = f"python3 {pauser} stop {shlex.quote(state)}"
    setup_b = stop if duty == 0 else f'python3 {pauser} start {shlex.quote(state)} "$TRUVELLO_PID" {duty}'
    cmd = [args.command, "ab", "--single", "--quiet", "--json", "--seed", str(seed),
           "--warmup", str(args.warmup), "--measure", str(args.measure), "--repeat", str(args.pairs),
           "--setup-a", stop, "--setup-b", setup_b,
           "--restore", f'{stop}; kill -CONT "$TRUVELLO_PID"']
    done = subprocess.run(cmd, capture_output=True, text=True, timeout=3600)
    if done.returncode != 0:
        sys.exit(f"ab_trust: the command ended with {done.returncode}: {done.stderr.strip()}")
    ab = json.loads(done.stdout)["ab"]
    e, u = ab["estimate"], ab["unpaired"]
    return {
        "seed": seed,
        "order": ab["order"],
        "ratio": e["ratio"],
        "verdict": e["verdict"],
        "stood_out": e["stood_out"],
        "paired_width": 100.0 * (e["ci_high"] - e["ci_low"]) / 2.0,
        "unpaired_width": 100.0 * (u["ci_high"] - u["ci_low"]) / 2.0,
        "unpaired_verdict": u["verdict"],
    }


def held_share(state):
    """The share of its time the pauser held the command stopped, since last asked."""
    path = os.path.join(state, "held")
    try:
        with open(path) as f:
            pairs = [tuple(map(float, line.split())) for line in f if line.strip()]
        os.unlink(path)
    except FileNotFoundError:
        return None
    total = sum(p[1] for p in pairs)
    return sum(p[0] for p in pairs) / total if total > 0 else None


def scenario(args, name, duty, count, seed0, state):
    held_share(state)
    rows = []
    start = time.monotonic()
    for i in range(count):
        rows.append(one_series(args, seed0 + i, state, duty))
        r = rows[-1]
        print(f"  {name} {i + 1:2}/{count}  B/A {r['ratio']:.4f}  paired +/-{r['paired_width']:.2f} %  "
              f"unpaired +/-{r['unpaired_width']:.2f} %  verdict {r['verdict']}", file=sys.stderr, flush=True)
    wanted = "same" if duty == 0 else "slower"
    held = held_share(state)
    return {
        "held_share": held,
        "scenario": name,
        "duty": duty,
        "series": count,
        "pairs": args.pairs,
        "seconds": round(time.monotonic() - start, 1),
        "verdict_share": sum(r["verdict"] != "same" for r in rows) / count,
        "found_share": sum(r["verdict"] == wanted for r in rows) / count,
        "unpaired_found_share": sum(r["unpaired_verdict"] == wanted for r in rows) / count,
        "median_ratio": statistics.median(r["ratio"] for r in rows),
        "median_paired_half_width_percent": statistics.median(r["paired_width"] for r in rows),
        "median_unpaired_half_width_percent": statistics.median(r["unpaired_width"] for r in rows),
        "series_with_a_pair_out": sum(bool(r["stood_out"]) for r in rows),
        "rows": rows,
    }


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--command", required=True)
    p.add_argument("--series", type=int, default=20, help="A/A series")
    p.add_argument("--slow-series", type=int, default=10, help="series per slowdown")
    p.add_argument("--pairs", type=int, default=6)
    p.add_argument("--warmup", type=float, default=0.5)
    p.add_argument("--measure", type=float, default=2.0)
    p.add_argument("--smoke", action="store_true", help="one short series each, to see that it works")
    p.add_argument("--out", help="also write the figures as JSON to this file")
    args = p.parse_args()
    if args.smoke:
        args.series, args.slow_series, args.pairs, args.warmup, args.measure = 1, 1, 2, 0.0, 0.3
    with tempfile.TemporaryDirectory() as state:
        results = [scenario(args, "A/A", 0, args.series, 1000, state)] if args.series > 0 else []
        if args.slow_series > 0:
            results += [scenario(args, "B -5 %", 0.05, args.slow_series, 2000, state),
                        scenario(args, "B -10 %", 0.10, args.slow_series, 3000, state)]
    with open("/proc/loadavg") as f:
        load = f.read().split()[:3]
    print(f"truvello ab on {os.cpu_count()} CPUs, load average {' '.join(load)} at the end; "
          f"{args.pairs} pairs a series of {args.warmup} s warm-up + {args.measure} s runs")
    print(f"{'scenario':10} {'series':>6} {'verdicts':>9} {'found':>6} {'found unpaired':>15} {'median B/A':>11} "
          f"{'paired +/-':>11} {'unpaired +/-':>13} {'pair out':>9} {'held':>6} {'time':>7}")
    for r in results:
        found = "-" if r["duty"] == 0 else f"{100 * r['found_share']:.0f} %"
        found_u = "-" if r["duty"] == 0 else f"{100 * r['unpaired_found_share']:.0f} %"
        held = "-" if r["held_share"] is None else f"{100 * r['held_share']:.1f}%"
        print(f"{r['scenario']:10} {r['series']:6} {100 * r['verdict_share']:7.0f} % {found:>6} {found_u:>15} "
              f"{r['median_ratio']:11.4f} {r['median_paired_half_width_percent']:9.2f} % "
              f"{r['median_unpaired_half_width_percent']:11.2f} % {r['series_with_a_pair_out']:9} "
              f"{held:>6} {r['seconds']:6.0f}s")
    if args.out:
        with open(args.out, "w") as f:
            json.dump(results, f, indent=1)


if __name__ == "__main__":
    main()
