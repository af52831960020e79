"""Finding, loading and checking the shared library.

Places are tried in a fixed order: the file named by TRUVELLO_LIBRARY, the
copy installed inside this package, and the system's library search path.
The first that loads is used; a library that loads but does not speak this
package's interface is refused outright rather than skipped, since running a
different library than the one asked for would measure the wrong thing.
"""

from __future__ import annotations

import ctypes
import os
import sys
import threading
from pathlib import Path
from typing import Any, Optional

from ._library_name import library_file
from ._records import (
    ABI_VERSION,
    EXPECTED_SIZES,
    ConfigRecord,
    HandlePointer,
    ProgressFunction,
    ResultRecord,
    SampleRecord,
)

ENVIRONMENT_VARIABLE = "TRUVELLO_LIBRARY"
LIBRARY_FILE = library_file(sys.platform)


class LibraryError(OSError):
    """The shared library cannot be found, loaded, or is not one this package can use."""


class Library:
    """The loaded library with the argument and result types of its ten functions."""

    def __init__(self, dll: ctypes.CDLL, path: str) -> None:
        self.path = path
        self._dll = dll
        self.abi_version = self._declare("truvello_abi_version", ctypes.c_uint32)
        self.version = self._declare("truvello_version", ctypes.c_char_p)
        self.create = self._declare("truvello_create", HandlePointer)
        self.free = self._declare("truvello_free", None, HandlePointer)
        self.cancel = self._declare("truvello_cancel", None, HandlePointer)
        self.default_config = self._declare("truvello_default_config", ctypes.c_int32, ctypes.POINTER(ConfigRecord))
        self.run = self._declare(
            "truvello_run",
            ctypes.c_uint32,
            HandlePointer,
            ctypes.POINTER(ConfigRecord),
            ProgressFunction,
            ctypes.c_void_p,
        )
        self.result = self._declare("truvello_result", ctypes.c_int32, HandlePointer, ctypes.POINTER(ResultRecord))
        self.sample = self._declare(
            "truvello_sample", ctypes.c_int32, HandlePointer, ctypes.c_uint64, ctypes.POINTER(SampleRecord)
        )
        self.reason = self._declare("truvello_reason", ctypes.c_char_p, HandlePointer)

    def _declare(self, name: str, restype: Any, *argtypes: Any) -> Any:
        try:
            function = getattr(self._dll, name)
        except AttributeError:
            raise LibraryError(f"{self.path} does not export {name}: it is not the truvello library") from None
        function.restype = restype
        function.argtypes = list(argtypes)
        return function

    def check(self) -> None:
        """Refuses a library of another interface version, or records that disagree with the header."""
        for record, size in EXPECTED_SIZES.items():
            if ctypes.sizeof(record) != size:
                raise LibraryError(
                    f"{record.__name__} is {ctypes.sizeof(record)} bytes in this Python, the C interface says {size}"
                )
        found = int(self.abi_version())
        if found != ABI_VERSION:
            raise LibraryError(f"{self.path} has interface version {found}, this package needs {ABI_VERSION}")


def candidates() -> list[tuple[str, str]]:
    """(what to load, how to name it in an error), in the order they are tried."""
    places: list[tuple[str, str]] = []
    chosen = os.environ.get(ENVIRONMENT_VARIABLE)
    if chosen:
        places.append((chosen, f"{chosen} (from {ENVIRONMENT_VARIABLE})"))
    else:
        places.append(("", f"{ENVIRONMENT_VARIABLE} (not set)"))
    packaged = Path(__file__).resolve().parent / LIBRARY_FILE
    places.append((str(packaged), f"{packaged} (inside the package)"))
    places.append((LIBRARY_FILE, f"{LIBRARY_FILE} on the system's library path"))
    return places


def _open() -> Library:
    tried: list[str] = []
    for target, description in candidates():
        if not target:
            tried.append(description)
            continue
        try:
            dll = ctypes.CDLL(target)
        except OSError as error:
            tried.append(f"{description}: {error}")
            continue
        library = Library(dll, target)
        library.check()
        return library
    raise LibraryError("cannot load the truvello library; tried " + "; ".join(tried))


_lock = threading.Lock()
_loaded: Optional[Library] = None


def load() -> Library:
    """The library, loaded and checked at first use and kept for the process."""
    global _loaded
    with _lock:
        if _loaded is None:
            _loaded = _open()
        return _loaded


def version() -> str:
    """The library's version text, as project() in CMake sets it."""
    text = load().version()
    return bytes(text).decode("ascii", errors="replace") if text is not None else ""


def abi_version() -> int:
    """The library's interface version; this package works with 1."""
    return int(load().abi_version())
