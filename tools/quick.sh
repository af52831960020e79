#!/usr/bin/env bash
# The first look at a machine: installs whatever is missing, builds the
# library and the truvello command in release mode, and runs
# `truvello --quick` (2 s warm-up, 5 s measurement per benchmark).
#
#   bash tools/quick.sh [more truvello options, e.g. --json]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh run

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_TESTS=OFF \
  -DTRUVELLO_BENCH=OFF -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ >/dev/null
cmake --build build/release --target truvello_command >&2
exec build/release/cli/truvello --quick "$@"
