#!/usr/bin/env bash
# Builds the library for the targets other than this machine's and runs its
# portable tests there: the plain C host test and the workload's reference
# values (native/tests/golden). Windows x86-64 runs under Wine, Linux aarch64
# and s390x (big-endian) under qemu-user; the truvello command is built for
# aarch64 too and makes one short run. Each tree is configured and built once,
# with only what these tests need. Timings under emulation mean nothing and
# are not looked at.
#
#   bash tools/foreign.sh [windows|aarch64|s390x ...]   (default: all three)
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
wine=/usr/lib/wine/wine64
targets=("$@")
((${#targets[@]})) || targets=(windows aarch64 s390x)

# configure <target> <toolchain> <extra cmake options...>
configure() {
  local target=$1 toolchain=$2
  shift 2
  cmake -S . -B "build/foreign-$target" -G Ninja --toolchain "cmake/toolchains/$toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DTRUVELLO_WERROR=ON -DTRUVELLO_BENCH=OFF "$@" >/dev/null
}

build_and_test() {
  local dir=build/foreign-$1
  shift
  cmake --build "$dir" -j "$jobs" --target truvello c_host_test kernel_golden_check "$@"
  ctest --test-dir "$dir" --output-on-failure
}

fail() {
  echo "foreign.sh: $*" >&2
  exit 1
}

windows() {
  local dir=build/foreign-windows
  # The DLL beside the programs, where Windows looks for it first.
  configure windows mingw-w64-x86_64 -DTRUVELLO_CLI=OFF -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$PWD/$dir/bin" \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$wine"
  cmake --build "$dir" -j "$jobs" --target truvello c_host_test kernel_golden_check
  # Exactly the ten functions exported, and only the system's own DLLs
  # imported: the DLL needs nothing beside it.
  local dump exports imports
  dump=$(x86_64-w64-mingw32-objdump -p "$dir/bin/truvello.dll")
  exports=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | grep -o 'truvello_[a-z_]*' | sort | tr '\n' ' ')
  [ "$exports" = "truvello_abi_version truvello_cancel truvello_create truvello_default_config truvello_free \
truvello_reason truvello_result truvello_run truvello_sample truvello_version " ] || fail "truvello.dll exports: $exports"
  imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')
  for dll in $imports; do
    case "${dll,,}" in
      kernel32.dll | msvcrt.dll | api-ms-win-*) ;;
      *) fail "truvello.dll needs $dll" ;;
    esac
  done
  echo "truvello.dll exports the ten functions and imports only: $imports"
  # A prefix of its own in the build tree; its first start takes a while.
  # Mono and Gecko are not needed and not installed.
  export WINEPREFIX="$PWD/$dir/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  local started=$SECONDS
  "$wine" cmd /c exit >/dev/null 2>&1 || true
  echo "Wine prefix ready in $((SECONDS - started)) s"
  ctest --test-dir "$dir" --output-on-failure
  /usr/lib/wine/wineserver -k 2>/dev/null || true
}

aarch64() {
  configure aarch64 aarch64-linux-gnu
  build_and_test aarch64 truvello_command
  # One short run of the command, whose JSON must parse and hold a rate.
  local dir=build/foreign-aarch64 out
  out=$(qemu-aarch64 -L /usr/aarch64-linux-gnu "$dir/cli/truvello" --single --warmup 0.2 --measure 1 --json 2>/dev/null)
  python3 -c '
import json, sys
run = json.loads(sys.argv[1])["runs"][0]
assert run["result"]["status"] == 0 and run["result"]["mean_rate"] > 0, run
print("truvello --json under qemu-aarch64: a valid document, status 0, rate > 0")
' "$out"
}

s390x() {
  configure s390x s390x-linux-gnu -DTRUVELLO_CLI=OFF
  build_and_test s390x
}

for target in "${targets[@]}"; do
  case "$target" in
    windows | aarch64 | s390x)
      started=$SECONDS
      echo "-- $target"
      "$target"
      echo "-- $target passed in $((SECONDS - started)) s"
      ;;
    *) fail "unknown target $target (windows, aarch64 or s390x)" ;;
  esac
done
