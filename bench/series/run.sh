#!/usr/bin/env bash
# Builds a release tree with the truvello command and the series benchmark and
# runs it: time to trust, false alarms and detection of a series of runs,
# before and after. It takes about 15-20 minutes on a 2-CPU machine and wants
# it otherwise idle. Not part of the tests.
#
#   bash bench/series/run.sh [options, e.g. --smoke or --trials 5 --max-time 120]
#
# TRUVELLO_SERIES_BUILD overrides the build folder (default build/series).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/deps.sh

build=${TRUVELLO_SERIES_BUILD:-build/series}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_TESTS=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" --target truvello_command truvello_series_bench >&2
exec "$build/bench/truvello_series_bench" "$@"
