#!/usr/bin/env python3
"""Writes the seed corpus of the configuration fuzzer into ./seeds.

Each seed is a host's record as raw bytes: the 32-byte layout (abi_version,
struct_size, benchmark, reserved as little-endian u32, then warmup_seconds and
measurement_seconds as little-endian f64), or a shorter or longer record. The
values sit on the edges of every check and of the seconds conversion. Run it
again after changing the list; the fuzzer only reads the files.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
SEEDS = os.path.join(HERE, "seeds")

NAN = float("nan")
INF = float("inf")
TWO_TO_64 = 18446744073709551616.0
LARGEST_ACCEPTED = 18446744073709549568.0  # 2^64 - 2048
DENORM_MIN = 5e-324
DOUBLE_MAX = 1.7976931348623157e308


def record(abi=1, size=32, benchmark=1, reserved=0, warmup=120.0, measurement=60.0):
    return struct.pack("<IIIIdd", abi, size, benchmark, reserved, warmup, measurement)


def measuring(seconds, benchmark=1):
    return record(benchmark=benchmark, warmup=0.0, measurement=seconds)


def warming(seconds):
    return record(warmup=seconds, measurement=1.0)


SEED_RECORDS = {
    # whole records
    "defaults": record(),
    "all_cpus": record(benchmark=2, warmup=0.0, measurement=0.01),
    # header
    "abi_version_2": record(abi=2),
    "abi_version_0": record(abi=0),
    "struct_size_24": record(size=24)[:24],
    "struct_size_40": record(size=40) + struct.pack("<d", 1.0),
    "struct_size_0": record(size=0),
    "header_only": record()[:8],
    "shorter_than_header": record()[:5],
    "empty": b"",
    "two_records": record(benchmark=2) + record(abi=2),
    # selector and reserved field, in their order of checking
    "benchmark_0": record(benchmark=0),
    "benchmark_3": record(benchmark=3),
    "benchmark_max": record(benchmark=0xFFFFFFFF),
    "benchmark_7_reserved_5": record(benchmark=7, reserved=5),
    "reserved_5_nan_warmup": record(benchmark=2, reserved=5, warmup=NAN),
    "reserved_max": record(reserved=0xFFFFFFFF),
    # warm-up
    "warmup_zero": warming(0.0),
    "warmup_minus_zero": warming(-0.0),
    "warmup_smallest_negative": warming(-DENORM_MIN),
    "warmup_minus_one": warming(-1.0),
    "warmup_nan": warming(NAN),
    "warmup_minus_inf": warming(-INF),
    "warmup_two_to_64": warming(TWO_TO_64),
    "warmup_largest_accepted": warming(LARGEST_ACCEPTED),
    # measurement
    "measurement_zero": measuring(0.0),
    "measurement_minus_zero": measuring(-0.0),
    "measurement_nan": measuring(NAN),
    "measurement_inf": measuring(INF),
    "measurement_two_to_64": measuring(TWO_TO_64),
    "measurement_largest_accepted": measuring(LARGEST_ACCEPTED),
    "measurement_double_max": measuring(DOUBLE_MAX),
    "measurement_denorm_min": measuring(DENORM_MIN),
    "measurement_1e-10": measuring(1e-10),
    "measurement_6e-10": measuring(6e-10),
    "measurement_0.9999999999": measuring(0.9999999999),
    "measurement_2.5": measuring(2.5),
    "measurement_0.1": measuring(0.1),
    # rounding to nanoseconds: exact ties, near ties, and the zero boundary
    "tie_2^-10": measuring(2.0**-10),
    "tie_3x2^-10": measuring(3 * 2.0**-10),
    "tie_7+2^-10": measuring(7 + 2.0**-10),
    "near_tie_above": measuring(float.fromhex("0x1.006423a2e9c6dp-1")),
    "near_tie_below": measuring(float.fromhex("0x1.009bdc5d16393p-1")),
    "two_to_minus_31": measuring(2.0**-31),
    "below_two_to_minus_31": measuring(math.nextafter(2.0**-31, 0.0)),
    "above_two_to_minus_31": measuring(math.nextafter(2.0**-31, 1.0)),
    "half_nanosecond": measuring(5e-10),
    "two_to_52": measuring(2.0**52),
    "two_to_52_minus_half": measuring(2.0**52 - 0.5),
    "two_to_53": measuring(2.0**53),
    "two_to_63": measuring(2.0**63),
}


def main():
    os.makedirs(SEEDS, exist_ok=True)
    for name, data in SEED_RECORDS.items():
        assert len(data) <= 64, name
        with open(os.path.join(SEEDS, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
