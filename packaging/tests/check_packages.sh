#!/usr/bin/env bash
# Proof that the Debian packages work as delivered: builds them
# (tools/package.sh), runs lintian over them (no error allowed; warnings are
# printed), unpacks them with dpkg-deb into a throwaway folder and, from that
# folder alone, compiles a C host through the unpacked pkg-config file, runs
# it (a one-second benchmark on the unpacked library), runs the unpacked
# command and its bash completion, and renders the manual page.
#
#   bash packaging/tests/check_packages.sh
set -euo pipefail
cd "$(dirname "$0")/../.."
here=packaging/tests

log=$(mktemp)
bash tools/package.sh >"$log" 2>&1 || {
  cat "$log"
  exit 1
}
rm -f "$log"
debs=(build/packages/*.deb)
version=$(sed -n 's/^project(truvello VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb_version=$(dpkg-deb -f build/packages/truvello_*.deb Version)
echo "packages ($deb_version):"
for deb in "${debs[@]}"; do
  printf '  %-40s %7d bytes  Depends: %s\n' "${deb##*/}" "$(stat -c %s "$deb")" "$(dpkg-deb -f "$deb" Depends)"
done

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The command and the development files need this very build of the library.
for package in truvello libtruvello-dev; do
  depends=$(dpkg-deb -f build/packages/${package}_*.deb Depends)
  [[ $depends == *"libtruvello1 (= $deb_version)"* ]] || fail "$package does not depend on libtruvello1 (= $deb_version): $depends"
done

echo "lintian:"
lintian_status=0
report=$(lintian --display-info --pedantic --fail-on error "${debs[@]}" 2>&1) || lintian_status=$?
grep -v '^running with root privileges' <<<"$report" | sed 's/^/  /' || true
((lintian_status == 0)) || fail "lintian reports errors (status $lintian_status)"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
for deb in "${debs[@]}"; do
  dpkg-deb -x "$deb" "$root"
done
libdir=$root/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[[ -f $libdir/libtruvello.so.$version && -L $libdir/libtruvello.so.1 && -L $libdir/libtruvello.so ]] ||
  fail "the library, its SONAME link or its development link is missing from $libdir"

# pkg-config sees only the unpacked tree; the .pc file locates itself.
export PKG_CONFIG_LIBDIR=$libdir/pkgconfig
unset PKG_CONFIG_PATH
[[ $(pkg-config --modversion truvello) == "$version" ]] || fail "pkg-config --modversion truvello"
flags=$(pkg-config --cflags --libs truvello)
[[ $flags == "-I$root/"* ]] || fail "pkg-config's flags do not point into the unpacked tree: $flags"
# shellcheck disable=SC2086 # the flags are words
cc -std=c99 -Wall -Wextra -pedantic -Werror "$here/short_run.c" -o "$root/short_run" $flags
export LD_LIBRARY_PATH=$libdir
[[ $(ldd "$root/short_run") == *"$libdir/libtruvello.so.1"* ]] || fail "the host does not load the unpacked library"
echo "C host: $(timeout 60 "$root/short_run")"

out=$(timeout 20 "$root/usr/bin/truvello" --version)
[[ $out == "truvello $version"* ]] || fail "truvello --version printed: $out"
echo "command: $(head -n 1 <<<"$out")"

bash "$here/completion_test.sh" "$root/usr/share/bash-completion/completions/truvello" "$root/usr/bin/truvello"
bash "$here/manpage_test.sh" "$root/usr/share/man/man1/truvello.1.gz" "$root/usr/bin/truvello"
echo "packages: all checks passed"
