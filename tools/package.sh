#!/usr/bin/env bash
# Builds the Debian packages libtruvello1, libtruvello-dev and truvello into
# build/packages/, from a release build configured for /usr in
# build/package (the multiarch library folder comes from that prefix).
#
#   bash tools/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/deps.sh

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# Debian's hardening flags (fortified functions, stack protector, read-only
# relocations, immediate binding), as its own packages are built with; no
# debugging information, which the packages strip anyway.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | sed -e 's/^-g //' -e 's/ -g / /'; }
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DTRUVELLO_TESTS=OFF -DTRUVELLO_BENCH=OFF -DTRUVELLO_WERROR=ON "${launcher[@]}" \
  "-DCMAKE_C_FLAGS=$(flags CFLAGS) $(flags CPPFLAGS)" \
  "-DCMAKE_CXX_FLAGS=$(flags CXXFLAGS) $(flags CPPFLAGS)" \
  "-DCMAKE_EXE_LINKER_FLAGS=$(flags LDFLAGS)" "-DCMAKE_SHARED_LINKER_FLAGS=$(flags LDFLAGS)" >/dev/null
cmake --build build/package -j "$(nproc)"
rm -rf build/packages
(cd build/package && cpack -G DEB -B "$PWD/../packages" >/dev/null)
# CPack's own working folder is not a deliverable.
rm -rf build/packages/_CPack_Packages
ls -l build/packages/*.deb
