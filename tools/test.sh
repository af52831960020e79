#!/usr/bin/env bash
# Builds and runs every test: a release build with g++, the Python package,
# an AddressSanitizer + UndefinedBehaviorSanitizer build with clang++, and a
# ThreadSanitizer build with clang++. Long-running variants stay behind the
# ctest label "long".
# Between the release build and the sanitizer builds, the Debian packages are
# built and checked as delivered, and the library is built for the other
# targets and tested under emulation (tools/foreign.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

jobs=$(nproc)
run_suite() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -G Ninja -DTRUVELLO_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" -LE long
}

start=$(date +%s)
echo "== format (clang-format-14)"
git ls-files '*.c' '*.cc' '*.h' | xargs clang-format-14 --dry-run -Werror
echo "== layers (the command's and the library's folders include only folders below them)"
python3 tools/check_layers.py
echo "== release (g++)"
run_suite build/test-gcc -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
echo "== python"
# The package installed into a fresh virtual environment and tested there; its
# saved documents are checked against the command just built.
TRUVELLO_COMMAND="$PWD/build/test-gcc/cli/truvello" bash python/tests/run.sh -q
echo "== packages (Debian: build, lintian, unpack and use)"
bash packaging/tests/check_packages.sh
echo "== foreign targets (Windows x86-64 under Wine; Linux aarch64 and s390x under qemu-user)"
bash tools/foreign.sh
echo "== address,undefined (clang++)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_suite build/test-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTRUVELLO_SANITIZE=address,undefined -DTRUVELLO_BENCH=OFF -DTRUVELLO_FUZZ=ON
echo "== thread (clang++)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  run_suite build/test-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DTRUVELLO_SANITIZE=thread -DTRUVELLO_BENCH=OFF
echo "all test suites passed in $(( $(date +%s) - start )) s"
