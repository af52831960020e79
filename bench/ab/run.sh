#!/usr/bin/env bash
# Builds a release tree with the truvello command and runs the A/B benchmark:
# false verdicts of A/A series, detection of a slowdown of B by 5 and 10 %,
# and the paired interval's width against the unpaired one of the same runs.
# About 25-30 minutes on a 2-CPU machine with the defaults. Not part of the
# tests.
#
#   bash bench/ab/run.sh [options of ab_trust.py, e.g. --smoke or --series 30]
#
# TRUVELLO_AB_BUILD overrides the build folder (default build/series, shared
# with the series benchmark).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/deps.sh

build=${TRUVELLO_AB_BUILD:-build/series}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_TESTS=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" --target truvello_command >&2
exec python3 bench/ab/ab_trust.py --command "$build/cli/truvello" "$@"
