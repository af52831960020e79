#!/usr/bin/env python3
"""Writes the seed corpus of the JSON reader's fuzzer into ./export_seeds.

Usage: make_export_seeds.py PATH/TO/truvello

The seeds are real documents of the built command from tiny runs, written
compactly, and variants of them that the reader must also accept: schema
version 1, another writer with unknown machine facts, a --repeat series,
a failed run, texts that would control a terminal, and workers observed on a hybrid machine with the figures a
machine without schedstat leaves out. Run it again when the document changes; the fuzzer only reads
the files.
"""
import json
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "export_seeds")


def document(command, *args):
    done = subprocess.run([command, "--warmup", "0", "--measure", "1.2", "--json", "-q", *args],
                          capture_output=True, text=True, check=False)
    return json.loads(done.stdout)


def write(name, doc):
    with open(os.path.join(SEEDS, name), "w", encoding="utf-8") as f:
        f.write(json.dumps(doc, separators=(",", ":")))


def with_observed(doc):
    """The document with made-up worker observations on its first two runs."""
    doc = json.loads(json.dumps(doc))
    doc["runs"][0]["observed"] = {"workers": [
        {"name": "truvello-0", "window_seconds": 1.0, "cpu_seconds": 0.71, "cpu_share": 0.71,
         "wait_seconds": 0.081, "involuntary_switches": 412, "cpus": [0, 1, 16],
         "core_types": ["core", "core", "atom"]}]}
    doc["runs"][1]["observed"] = {"workers": [
        {"name": "truvello-%d" % i, "window_seconds": 1.0, "cpu_seconds": 0.5, "cpu_share": 0.5,
         "wait_seconds": None, "involuntary_switches": None, "cpus": [i], "core_types": []}
        for i in range(2)]}
    return doc


def with_hostile_texts(doc):
    """The document with texts that would retitle and clear a terminal, a C1
    control sequence, DEL and a byte that is not UTF-8 (as an escape the
    fuzzer's mutations turn back into raw bytes)."""
    doc = json.loads(json.dumps(doc))
    hostile = "\x1b]0;owned\x07\x1b[2J\u009b31m\x7f|<b>"
    doc["machine"]["cpu_model"] = "CPU " + hostile
    doc["machine"]["kernel"] = "Linux " + hostile
    doc["library"]["version"] = "1" + hostile
    doc["runs"][0]["warnings"].append({"code": "drift", "message": "moved " + hostile})
    return doc


def main():
    command = sys.argv[1]
    os.makedirs(SEEDS, exist_ok=True)
    both = document(command)
    write("both_benchmarks", both)

    v1 = json.loads(json.dumps(both))
    v1["schema_version"] = 1
    for run in v1["runs"]:
        del run["repeat"]
    write("schema_version_1", v1)

    other = json.loads(json.dumps(both))
    other["command"]["name"] = "truvello-python"
    machine = other["machine"]
    for key in ("cpu_model", "governors", "hypervisor", "load_average", "affinity_cpus", "cpu_quota"):
        machine[key] = None
    machine["os_kernel"] = machine.pop("kernel")
    write("other_writer", other)

    write("observed_workers", with_observed(both))
    write("hostile_texts", with_hostile_texts(both))
    write("repeat_series", document(command, "--single", "--repeat", "2"))
    failed = subprocess.run([command, "--measure", "0", "--json", "-q"], capture_output=True, text=True, check=False)
    write("failed_run", json.loads(failed.stdout))


if __name__ == "__main__":
    main()
