"""Builds the truvello library with CMake and ships it inside the package.

The package lives in the repository's python/ folder, so the library's
sources are this folder's parent. Only the shared library is built: no tests,
no command, no benchmarks.
"""

import os
import re
import runpy
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = Path(__file__).resolve().parent
SOURCE_ROOT = HERE.parent
# The name the loader looks for, from the package's own rule.
LIBRARY_FILE = runpy.run_path(str(HERE / "src" / "truvello" / "_library_name.py"))["library_file"](sys.platform)


def project_version() -> str:
    """The version in project() of the top-level CMakeLists.txt."""
    cmake_lists = SOURCE_ROOT / "CMakeLists.txt"
    try:
        text = cmake_lists.read_text(encoding="utf-8")
    except OSError as error:
        raise SystemExit(
            f"truvello: cannot read {cmake_lists} ({error.strerror}): the package is built "
            "from the python/ folder of a truvello source tree"
        ) from None
    match = re.search(r"project\(\s*truvello\s+VERSION\s+([0-9][0-9.]*)", text)
    if match is None:
        raise SystemExit(f"truvello: no 'project(truvello VERSION ...)' in {cmake_lists}")
    return match.group(1)


class BuildPyWithLibrary(build_py):
    """build_py that also compiles the shared library into the package."""

    def run(self) -> None:
        # build/ is kept between builds: start the package afresh, so that a
        # module removed from src/ is not shipped from an earlier build.
        shutil.rmtree(Path(self.build_lib) / "truvello", ignore_errors=True)
        super().run()
        library = self.build_library()
        target = Path(self.build_lib) / "truvello" / LIBRARY_FILE
        target.parent.mkdir(parents=True, exist_ok=True)
        # copyfile follows the SONAME link to the real file.
        shutil.copyfile(library, target)
        os.chmod(target, 0o755)

    def build_library(self) -> Path:
        cmake = shutil.which("cmake")
        if cmake is None:
            raise SystemExit("truvello: building the library needs CMake 3.25 or later on PATH")
        build_temp = Path(self.get_finalized_command("build").build_temp) / "truvello-library"
        configure = [
            cmake,
            "-S",
            str(SOURCE_ROOT),
            "-B",
            str(build_temp),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DTRUVELLO_TESTS=OFF",
            "-DTRUVELLO_BENCH=OFF",
            "-DTRUVELLO_CLI=OFF",
        ]
        # Only on a first configure: a build folder keeps its generator.
        if shutil.which("ninja") and not (build_temp / "CMakeCache.txt").exists():
            configure += ["-G", "Ninja"]
        # Extra options for special builds, e.g. another compiler.
        configure += os.environ.get("TRUVELLO_CMAKE_ARGS", "").split()
        self.announce("configuring the truvello library: " + " ".join(configure), level=2)
        subprocess.run(configure, check=True)
        jobs = str(os.cpu_count() or 1)
        subprocess.run([cmake, "--build", str(build_temp), "--target", "truvello", "--parallel", jobs], check=True)
        library = build_temp / "native" / LIBRARY_FILE
        if not library.exists():
            raise SystemExit(f"truvello: the build did not produce {library}")
        return library


class BinaryDistribution(Distribution):
    """The wheel carries a native library, so it is specific to a platform."""

    def has_ext_modules(self) -> bool:
        return True


setup(
    version=project_version(),
    cmdclass={"build_py": BuildPyWithLibrary},
    distclass=BinaryDistribution,
)
