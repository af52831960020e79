"""truvello: the CPU throughput benchmark from Python.

    >>> import truvello
    >>> result = truvello.run("single", warmup=5, measure=10)
    >>> print(f"{result.mean_rate:.0f} ops/s")

The package wraps the library's C interface with ctypes. The library is
looked for in TRUVELLO_LIBRARY, then inside this package, then on the
system's library path.
"""

from __future__ import annotations

from ._capability import Capability, CapabilityEstimate
from ._codes import Benchmark, Phase, Status
from ._config import Config, default_config
from ._document import Result, save_json
from ._errors import BenchmarkError
from ._library import LibraryError, abi_version, version
from ._run import Run, run, run_async
from ._values import Progress, Sample
from ._version import VERSION

__version__ = VERSION

__all__ = [
    "Benchmark",
    "BenchmarkError",
    "Capability",
    "CapabilityEstimate",
    "Config",
    "LibraryError",
    "Phase",
    "Progress",
    "Result",
    "Run",
    "Sample",
    "Status",
    "abi_version",
    "default_config",
    "run",
    "run_async",
    "save_json",
    "version",
]
