#!/usr/bin/env bash
# Installs what a fresh machine lacks (Debian packages), and nothing when all
# of it is there.
#
#   bash tools/deps.sh        everything: building, testing, packaging, running
#   bash tools/deps.sh run    only what building and running the command needs
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

install_needed() {
  ((${#need[@]})) || return 0
  echo "installing: ${need[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  local sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
}

# Building and running the library and the command.
have_cmd cmake || need+=(cmake)
have_cmd ninja || need+=(ninja-build)
have_cmd g++ || need+=(g++)
for pkg in libcli11-dev nlohmann-json3-dev libfmt-dev libboost-math-dev; do
  have_pkg "$pkg" || need+=("$pkg")
done
if [ "${1:-}" = run ]; then
  install_needed
  exit 0
fi

# Everything else is for the tests, the benchmarks and the packages.
have_cmd clang++ || need+=(clang)
have_cmd clang-format-14 || need+=(clang-format-14)
have_cmd git || need+=(git)
have_cmd script || need+=(util-linux)
have_cmd valgrind || need+=(valgrind)
have_cmd pkg-config || need+=(pkg-config)
have_cmd python3 || need+=(python3)
# The HTML report is checked in a real browser; fonts-liberation below gives
# it a font to draw with.
have_cmd chromium || need+=(chromium)
# The Prometheus text is checked by promtool and read end to end by a real
# node_exporter and Prometheus server (cli/tests/prometheus).
have_cmd promtool || need+=(prometheus)
have_cmd prometheus-node-exporter || need+=(prometheus-node-exporter)
# Debian packages, their manual page and completion: tools/package.sh and its check.
have_cmd dpkg-shlibdeps || need+=(dpkg-dev)
have_cmd file || need+=(file)
have_cmd help2man || need+=(help2man)
have_cmd man || need+=(man-db)
have_cmd lintian || need+=(lintian)
# The other targets (tools/foreign.sh): Windows x86-64 built with mingw-w64 and
# run under Wine; Linux aarch64 and s390x built with Debian's cross compilers
# and run under qemu-user.
have_cmd x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
have_cmd aarch64-linux-gnu-g++ || need+=(g++-aarch64-linux-gnu)
have_cmd s390x-linux-gnu-g++ || need+=(g++-s390x-linux-gnu)
have_cmd qemu-aarch64 && have_cmd qemu-s390x || need+=(qemu-user)
# The Python package is built and tested with the system's interpreter
# (/usr/bin/python3) and the python3-* packages below, since the package index may be unreachable.
for pkg in libgtest-dev libgmock-dev libbenchmark-dev libclang-rt-14-dev \
  python3-setuptools python3-wheel python3-pytest python3-mypy python3-venv fonts-liberation \
  bash-completion; do
  have_pkg "$pkg" || need+=("$pkg")
done

install_needed
