#!/usr/bin/env bash
# Builds a release tree with the truvello command and the fleet benchmark and
# runs it: `truvello fleet` on 10,000 generated documents of default-length
# runs, its wall time and largest resident set against the targets (10 s,
# 500 MiB). About a minute on a 2-CPU machine, most of it generating. Not
# part of the tests.
#
#   bash bench/fleet/run.sh [--documents N] [--runs R]
#
# TRUVELLO_FLEET_BUILD overrides the build folder (default build/fleet).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/deps.sh

build=${TRUVELLO_FLEET_BUILD:-build/fleet}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_TESTS=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" --target truvello_command truvello_fleet_bench >&2
exec "$build/bench/truvello_fleet_bench" "$@"
