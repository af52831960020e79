"""ctypes declarations of the four records of the C interface (truvello.h).

Field order, types and therefore offsets are the header's; the loader checks
the sizes against the ones the header asserts before any record crosses.
"""

from __future__ import annotations

import ctypes

# Sizes that truvello.h pins with compile-time checks.
CONFIG_SIZE = 32
RESULT_SIZE = 88
SAMPLE_SIZE = 32
PROGRESS_SIZE = 40

ABI_VERSION = 1


class ConfigRecord(ctypes.Structure):
    """truvello_config: what to run."""

    _fields_ = [
        ("abi_version", ctypes.c_uint32),
        ("struct_size", ctypes.c_uint32),
        ("benchmark", ctypes.c_uint32),
        ("reserved", ctypes.c_uint32),
        ("warmup_seconds", ctypes.c_double),
        ("measurement_seconds", ctypes.c_double),
    ]


class ResultRecord(ctypes.Structure):
    """truvello_result_record: the outcome of a run."""

    _fields_ = [
        ("abi_version", ctypes.c_uint32),
        ("status", ctypes.c_uint32),
        ("benchmark", ctypes.c_uint32),
        ("workers", ctypes.c_uint32),
        ("mean_rate", ctypes.c_double),
        ("warmup_seconds", ctypes.c_double),
        ("measurement_seconds", ctypes.c_double),
        ("measured_seconds", ctypes.c_double),
        ("cv_percent", ctypes.c_double),
        ("total_ops", ctypes.c_uint64),
        ("checksum", ctypes.c_uint64),
        ("sample_count", ctypes.c_uint64),
        ("unstable", ctypes.c_uint32),
        ("cv_valid", ctypes.c_uint32),
    ]


class SampleRecord(ctypes.Structure):
    """truvello_sample_record: one interval of the measurement window."""

    _fields_ = [
        ("t", ctypes.c_double),
        ("dt", ctypes.c_double),
        ("ops", ctypes.c_uint64),
        ("rate", ctypes.c_double),
    ]


class ProgressRecord(ctypes.Structure):
    """truvello_progress_record: one progress event, valid during the callback."""

    _fields_ = [
        ("phase", ctypes.c_uint32),
        ("workers", ctypes.c_uint32),
        ("fraction", ctypes.c_double),
        ("phase_elapsed_seconds", ctypes.c_double),
        ("phase_seconds", ctypes.c_double),
        ("ops", ctypes.c_uint64),
    ]


class HandleRecord(ctypes.Structure):
    """truvello_handle: opaque; only pointers to it cross."""


HandlePointer = ctypes.POINTER(HandleRecord)

# void (*)(const truvello_progress_record*, void*)
ProgressFunction = ctypes.CFUNCTYPE(None, ctypes.POINTER(ProgressRecord), ctypes.c_void_p)

EXPECTED_SIZES = {
    ConfigRecord: CONFIG_SIZE,
    ResultRecord: RESULT_SIZE,
    SampleRecord: SAMPLE_SIZE,
    ProgressRecord: PROGRESS_SIZE,
}
