"""The ctypes declarations against the C header, and how the library is found."""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
import truvello
from truvello import _records
from truvello._library_name import library_file

from conftest import HANG_LIMIT, REPO

C_TYPES = {"uint32_t": ctypes.c_uint32, "uint64_t": ctypes.c_uint64, "double": ctypes.c_double}
RECORDS = {
    "truvello_config": _records.ConfigRecord,
    "truvello_result_record": _records.ResultRecord,
    "truvello_sample_record": _records.SampleRecord,
    "truvello_progress_record": _records.ProgressRecord,
}


def header() -> str:
    return (REPO / "native" / "include" / "truvello.h").read_text(encoding="utf-8")


def test_tests_import_the_installed_package() -> None:
    assert REPO / "python" / "src" not in Path(truvello.__file__).resolve().parents
    assert (Path(truvello.__file__).parent / "libtruvello.so.1").is_file()
    assert (Path(truvello.__file__).parent / "py.typed").is_file()


@pytest.mark.parametrize(
    "platform, expected",
    [
        ("win32", "truvello.dll"),
        ("darwin", "libtruvello.1.dylib"),
        ("linux", "libtruvello.so.1"),
        ("freebsd14", "libtruvello.so.1"),
    ],
)
def test_the_library_file_is_named_for_the_platform(platform: str, expected: str) -> None:
    assert library_file(platform) == expected


@pytest.mark.parametrize("name", sorted(RECORDS))
def test_record_fields_match_the_header(name: str) -> None:
    body = re.search(r"typedef struct %s \{(.*?)\} %s;" % (name, name), header(), re.S)
    assert body, f"{name} not found in truvello.h"
    declared = re.findall(r"^\s*(\w+) (\w+);", body.group(1), re.M)
    record = RECORDS[name]
    assert [(field, C_TYPES[ctype]) for ctype, field in declared] == list(record._fields_)


def test_sizes_and_offsets_match_the_header_checks() -> None:
    checks = re.findall(r"sizeof\((\w+)\) == (\d+)|offsetof\((\w+), (\w+)\) == (\d+)", header())
    assert len(checks) >= 14
    for size_of, size, offset_of, field, offset in checks:
        if size_of:
            assert ctypes.sizeof(RECORDS[size_of]) == int(size), size_of
        else:
            assert getattr(RECORDS[offset_of], field).offset == int(offset), f"{offset_of}.{field}"
    # The loader's own table, which it checks on every load.
    assert [ctypes.sizeof(r) for r in RECORDS.values()] == [32, 88, 32, 40]
    assert _records.EXPECTED_SIZES == dict(zip(RECORDS.values(), [32, 88, 32, 40]))


def test_codes_match_the_header() -> None:
    defines = dict(re.findall(r"#define TRUVELLO_(\w+) (\d+)u", header()))
    for enum, prefix in ((truvello.Status, "STATUS_"), (truvello.Phase, "PHASE_"), (truvello.Benchmark, "BENCHMARK_")):
        named = {key[len(prefix) :]: int(value) for key, value in defines.items() if key.startswith(prefix)}
        assert {member.name: member.value for member in enum} == named
    assert int(defines["ABI_VERSION"]) == truvello.abi_version() == 1


def test_versions_and_defaults() -> None:
    # The version is written once, in project() of the top-level CMakeLists.txt.
    project = re.search(r"project\(\s*truvello\s+VERSION\s+([0-9.]+)", (REPO / "CMakeLists.txt").read_text())
    assert project is not None
    assert truvello.version() == truvello.__version__ == project.group(1)
    assert truvello.default_config() == truvello.Config(truvello.Benchmark.SINGLE, 120.0, 60.0)


def python_child(code: str, env: dict[str, str], cwd: Path) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-c", code], env=env, cwd=cwd, capture_output=True, text=True, timeout=HANG_LIMIT
    )


def clean_env(**extra: str) -> dict[str, str]:
    env = {k: v for k, v in os.environ.items() if k not in ("TRUVELLO_LIBRARY", "LD_LIBRARY_PATH", "PYTHONPATH")}
    env.update(extra)
    return env


def test_library_variable_comes_before_the_packaged_copy(tmp_path: Path) -> None:
    chosen = tmp_path / "chosen" / "libtruvello.so.1"
    chosen.parent.mkdir()
    shutil.copyfile(Path(truvello.__file__).parent / "libtruvello.so.1", chosen)
    code = (
        "import truvello, sys\n"
        "print(truvello.version())\n"
        "maps = open('/proc/self/maps').read()\n"
        "sys.exit(0 if %r in maps else 3)\n" % str(chosen)
    )
    child = python_child(code, clean_env(TRUVELLO_LIBRARY=str(chosen)), tmp_path)
    assert child.returncode == 0, child.stderr
    assert child.stdout == truvello.version() + "\n"


def test_error_names_every_place_tried(tmp_path: Path) -> None:
    # A copy of the package without its library, and nothing on the system path.
    package = tmp_path / "site" / "truvello"
    shutil.copytree(Path(truvello.__file__).parent, package, ignore=shutil.ignore_patterns("*.so.1", "__pycache__"))
    missing = tmp_path / "nowhere" / "libtruvello.so.1"
    code = "import truvello\ntry:\n    truvello.version()\nexcept truvello.LibraryError as e:\n    print(e)\n"
    child = python_child(code, clean_env(TRUVELLO_LIBRARY=str(missing), PYTHONPATH=str(tmp_path / "site")), tmp_path)
    assert child.returncode == 0, child.stderr
    message = child.stdout
    assert message.startswith("cannot load the truvello library; tried ")
    assert f"{missing} (from TRUVELLO_LIBRARY)" in message
    assert f"{package / 'libtruvello.so.1'} (inside the package)" in message
    assert "libtruvello.so.1 on the system's library path" in message
    assert message.index(str(missing)) < message.index("inside the package") < message.index("system's library")


def test_another_library_is_refused(tmp_path: Path) -> None:
    libc = ctypes.util.find_library("c")
    assert libc
    code = "import truvello\ntry:\n    truvello.version()\nexcept truvello.LibraryError as e:\n    print(e)\n"
    child = python_child(code, clean_env(TRUVELLO_LIBRARY=libc), tmp_path)
    assert child.returncode == 0, child.stderr
    assert child.stdout == f"{libc} does not export truvello_abi_version: it is not the truvello library\n"
