"""What a saved document says about the machine, with the truvello command's keys.

Each fact is read where the operating system offers it cheaply; what cannot
be read is null (the command's CPU quota probing is not repeated here).
"""

from __future__ import annotations

import hashlib
import os
import socket
from pathlib import Path
from typing import Any, Optional

_CPU_DIR = Path("/sys/devices/system/cpu")


def _read(path: Path) -> Optional[str]:
    try:
        return path.read_text(encoding="utf-8", errors="replace")
    except OSError:
        return None


def _cpuinfo_value(line: str, key: str) -> Optional[str]:
    name, colon, value = line.partition(":")
    if not colon or name.strip() != key:
        return None
    return value.strip()


def cpu_model(cpuinfo: str) -> Optional[str]:
    """The first non-empty "model name" of /proc/cpuinfo."""
    for line in cpuinfo.split("\n"):
        value = _cpuinfo_value(line, "model name")
        if value:
            return value
    return None


def has_hypervisor_flag(cpuinfo: str) -> bool:
    """Whether the first "flags" line of /proc/cpuinfo lists "hypervisor"."""
    for line in cpuinfo.split("\n"):
        value = _cpuinfo_value(line, "flags")
        if value is not None:
            return "hypervisor" in value.split()
    return False


def governors() -> list[str]:
    """The distinct frequency governors of all CPUs, sorted."""
    names = set()
    try:
        entries = list(_CPU_DIR.iterdir())
    except OSError:
        return []
    for entry in entries:
        if entry.name.startswith("cpu") and entry.name[3:].isdigit():
            text = _read(entry / "cpufreq" / "scaling_governor")
            if text is not None and text.strip():
                names.add(text.strip())
    return sorted(names)


def _online_cpus() -> int:
    try:
        count = os.sysconf("SC_NPROCESSORS_ONLN")
    except (OSError, ValueError):
        return 0
    return count if count > 0 else 0


def _affinity_cpus() -> Optional[int]:
    try:
        return len(os.sched_getaffinity(0))
    except (AttributeError, OSError):
        return None


def machine_identity(machine_id_text: str) -> Optional[str]:
    """The command's identity for a machine id: 32 hex digits of SHA-256 over "truvello:" and the id."""
    machine_id = machine_id_text.strip()
    if len(machine_id) != 32 or any(c not in "0123456789abcdef" for c in machine_id):
        return None
    return hashlib.sha256(("truvello:" + machine_id).encode("ascii")).hexdigest()[:32]


def _identity() -> Optional[str]:
    for path in ("/etc/machine-id", "/var/lib/dbus/machine-id"):
        text = _read(Path(path))
        identity = machine_identity(text.split("\n")[0]) if text is not None else None
        if identity is not None:
            return identity
    return None


def _host_name() -> Optional[str]:
    name = socket.gethostname()
    ok = 0 < len(name) <= 255 and all(0x20 < ord(c) < 0x7F for c in name)
    return name if ok else None


def machine() -> dict[str, Any]:
    """The "machine" object of a document."""
    cpuinfo = _read(Path("/proc/cpuinfo")) or ""
    online = _online_cpus()
    affinity = _affinity_cpus()
    usable = float(online) if affinity is None else float(min(online, affinity))
    try:
        load: Optional[list[float]] = list(os.getloadavg())
    except OSError:
        load = None
    uname = os.uname()
    return {
        "cpu_model": cpu_model(cpuinfo),
        "online_cpus": online,
        "affinity_cpus": affinity,
        "cpu_quota": None,
        "usable_cpus": usable,
        "kernel": f"{uname.sysname} {uname.release}",
        "governors": governors(),
        "hypervisor": has_hypervisor_flag(cpuinfo),
        "load_average": load,
        "host_name": _host_name(),
        "machine_id": _identity(),
    }
