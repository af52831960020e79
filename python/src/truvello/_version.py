"""The package's own version, as installed."""

from __future__ import annotations

from importlib import metadata

try:
    VERSION = metadata.version("truvello")
except metadata.PackageNotFoundError:  # imported from a source tree
    VERSION = "unknown"
