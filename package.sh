#!/usr/bin/env bash
# Builds the Debian package with Debian's own compiler flags and checks it with lintian:
# build/package/qldixw_<version>-1_<arch>.deb. Install it with
#   sudo apt install ./build/package/qldixw_*.deb
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps lintian
mkdir -p "$QLDIXW_ROOT/build"
build="$QLDIXW_ROOT/build/package"
# Hardening and optimisation as a Debian package gets them, all of the hardening
# (immediate binding too); build type None adds nothing of its own on top.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
QLDIXW_TARGETS="qldixw qldixw_readingchart qldixw-devsim qldixw_icons" qldixw_build "$build" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  -DCMAKE_MODULE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON
rm -f "$build"/qldixw_*.deb
(cd "$build" && cpack -G DEB >"$build.cpack.log" 2>&1) || { cat "$build.cpack.log" >&2; exit 1; }
deb=$(ls "$build"/qldixw_*.deb)
lintian --info "$deb" || { echo "lintian found errors in $deb" >&2; exit 1; }
echo "$deb ($(du -h "$deb" | cut -f1))"
