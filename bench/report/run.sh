#!/usr/bin/env bash
# Builds a release tree for the performance report and runs it: the library,
# the truvello command, the step microbenchmark and the report itself. It
# takes a few minutes and wants an idle machine. Not part of the tests.
#
#   bash bench/report/run.sh [report options, e.g. --only 2,5]
#
# TRUVELLO_REPORT_BUILD overrides the build folder (default build/report).
set -euo pipefail
cd "$(dirname "$0")/../.."
bash tools/deps.sh

build=${TRUVELLO_REPORT_BUILD:-build/report}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_TESTS=OFF \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build "$build" >&2
cmake --build "$build" --target truvello_report >&2
exec "$build/bench/report/truvello_report" "$@"
