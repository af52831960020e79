"""Results saved as the command's JSON document, checked by the command itself."""

from __future__ import annotations

import json
import subprocess
from pathlib import Path
from typing import Any

import pytest
import truvello
from truvello import Benchmark, Sample, Status

from conftest import HANG_LIMIT

# Warnings that follow from a run alone, and those about the machine that a
# saved document repeats; the command adds others from readings around a run.
RUN_WARNINGS = {"unstable", "drift", "short_window"}
MACHINE_WARNINGS = {"governor", "hypervisor"}


def key_paths(value: Any, prefix: str = "") -> set[str]:
    """Every key path of a document; list items share the path of their list."""
    paths = set()
    if isinstance(value, dict):
        for key, item in value.items():
            paths.add(prefix + "/" + key)
            if key != "warnings":  # which warnings appear depends on the machine
                paths |= key_paths(item, prefix + "/" + key)
    elif isinstance(value, list):
        for item in value:
            paths |= key_paths(item, prefix + "[]")
    return paths


@pytest.fixture(scope="module")
def command_document(command: Path, tmp_path_factory: pytest.TempPathFactory) -> dict[str, Any]:
    """A document the command wrote for a short run of each benchmark."""
    out = subprocess.run(
        [str(command), "--warmup", "0", "--measure", "3.5", "--json", "--quiet"],
        cwd=tmp_path_factory.mktemp("command"),
        capture_output=True,
        text=True,
        timeout=HANG_LIMIT * 2,
    )
    assert out.returncode == 0, out.stderr
    document: dict[str, Any] = json.loads(out.stdout)
    return document


def result_of(entry: dict[str, Any]) -> truvello.Result:
    """A Result holding what the command's document says about one run."""
    r = entry["result"]
    return truvello.Result(
        status=Status(r["status"]),
        benchmark=Benchmark(r["benchmark"]),
        workers=r["workers"],
        mean_rate=r["mean_rate"],
        warmup_seconds=r["warmup_seconds"],
        measurement_seconds=r["measurement_seconds"],
        measured_seconds=r["measured_seconds"],
        cv_percent=r["cv_percent"] if r["cv_valid"] else None,
        total_ops=r["total_ops"],
        checksum=r["checksum"],
        unstable=bool(r["unstable"]),
        reason=entry["reason"],
        samples=tuple(Sample(s["t"], s["dt"], s["ops"], s["rate"]) for s in entry["samples"]),
    )


def test_to_dict_gives_the_command_figures_for_the_same_run(command_document: dict[str, Any]) -> None:
    for index, entry in enumerate(command_document["runs"]):
        ours = result_of(entry).to_dict(repeat=entry.get("repeat", 1))
        theirs = dict(entry, repeat=entry.get("repeat", 1))
        assert sorted(ours) == sorted(theirs)
        for key in ("name", "repeat", "config", "status", "status_text", "result", "reason", "derived", "samples"):
            assert ours[key] == theirs[key], (index, key)
        assert ours["warnings"] == [w for w in theirs["warnings"] if w["code"] in RUN_WARNINGS]
    assert {w["code"] for e in command_document["runs"] for w in e["warnings"]} & {"short_window"}


def test_save_json_has_every_key_the_command_writes(
    short_runs: list[truvello.Result], command_document: dict[str, Any], tmp_path: Path
) -> None:
    path = tmp_path / "saved.json"
    truvello.save_json(path, [short_runs[0], short_runs[1], short_runs[0]])
    saved = json.loads(path.read_text(encoding="utf-8"))
    # The command writes an object for a CPU quota when it finds a cgroup
    # limit, and for the workers it observed while a run lasted; null
    # otherwise. The package looks for neither. "series" is derived from the
    # runs by every reader; the package leaves it out.
    theirs = {
        p
        for p in key_paths(command_document)
        if not p.startswith("/machine/cpu_quota/")
        and not p.startswith("/runs[]/observed/")
        and not p.startswith("/series")
    }
    if command_document["schema_version"] < 2:
        theirs.add("/runs[]/repeat")
    assert key_paths(saved) == theirs
    assert saved["schema_version"] == 2
    assert saved["command"] == {"name": "truvello-python", "version": truvello.__version__}
    assert saved["library"] == {"version": truvello.version(), "abi_version": 1}
    assert [(r["name"], r["repeat"]) for r in saved["runs"]] == [("single", 1), ("all-cpus", 1), ("single", 2)]
    single, all_cpus = short_runs
    assert saved["scaling"] == {
        "speedup": all_cpus.mean_rate / single.mean_rate,
        "workers": all_cpus.workers,
        "efficiency": all_cpus.mean_rate / (all_cpus.workers * single.mean_rate),
    }
    assert saved["machine"]["online_cpus"] == all_cpus.workers
    for name in ("cpu_model", "online_cpus", "kernel", "governors", "hypervisor", "host_name", "machine_id"):
        assert saved["machine"][name] == command_document["machine"][name], name
    machine_wide = [w for w in command_document["runs"][0]["warnings"] if w["code"] in MACHINE_WARNINGS]
    for entry in saved["runs"]:
        assert [w for w in entry["warnings"] if w["code"] in MACHINE_WARNINGS] == machine_wide


def command_has(command: Path, subcommand: str) -> bool:
    help_text = subprocess.run([str(command), "--help"], capture_output=True, text=True, timeout=HANG_LIMIT).stdout
    return subcommand in help_text.split()


def test_saved_document_is_read_by_truvello_report(
    command: Path, short_runs: list[truvello.Result], tmp_path: Path
) -> None:
    if not command_has(command, "report"):
        pytest.skip("this truvello command has no report subcommand")
    path = tmp_path / "saved.json"
    truvello.save_json(path, short_runs)
    report = subprocess.run([str(command), "report", str(path)], capture_output=True, text=True, timeout=HANG_LIMIT)
    assert report.returncode == 0, report.stderr
    assert "single" in report.stdout.lower()


def test_save_json_without_both_benchmarks_has_no_scaling(short_runs: list[truvello.Result], tmp_path: Path) -> None:
    path = tmp_path / "one.json"
    truvello.save_json(path, short_runs[:1])
    saved = json.loads(path.read_text(encoding="utf-8"))
    assert saved["scaling"] is None and len(saved["runs"]) == 1


def test_non_finite_figures_become_null(tmp_path: Path) -> None:
    with pytest.raises(truvello.BenchmarkError) as raised:
        truvello.run("single", warmup=float("nan"), measure=1)
    entry = raised.value.result.to_dict()
    assert entry["config"]["warmup_seconds"] is None and entry["result"]["warmup_seconds"] is None
    assert (entry["status_text"], entry["reason"], entry["samples"]) == ("failed", raised.value.reason, [])
    assert entry["derived"]["median_rate"] is None and entry["warnings"] == []
    truvello.save_json(tmp_path / "failed.json", [raised.value.result])
    json.loads((tmp_path / "failed.json").read_text(encoding="utf-8"))
