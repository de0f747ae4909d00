#!/usr/bin/env bash
# The whole console for Windows, built on this Debian machine, and its installer:
#   scripts/build-windows.sh     ->  build/windows/qldixw-<version>-setup.exe
#
# Qt for Windows comes from Debian's own source (scripts/windows-qt.sh), built once into
# the cache (QLDIXW_CACHE, by default ~/.cache/qldixw) and taken from there afterwards.
# The icon drawer and the device simulator are built for this machine (build/windows-host):
# the drawer runs during the cross build, the simulator plays the devices in the Windows
# tests. The console, the chart module (when Qt Charts could be built) and the Windows
# tests are cross-built with mingw-w64 in build/windows; `cmake --install` lays out the
# program's folder (build/windows/install) and Debian's NSIS makes the installer of it.
#
# Prints the installer's path as its last line.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"
. "$QLDIXW_ROOT/scripts/windows-qt.sh"

qldixw_install_deps "${QLDIXW_WINDOWS_PACKAGES[@]}"
mkdir -p "$QLDIXW_ROOT/build"

qldixw_windows_qt
echo "Qt for Windows: $QLDIXW_WINDOWS_QT"

# Built for this machine: the icon drawer and the simulator, nothing else.
host="$QLDIXW_ROOT/build/windows-host"
QLDIXW_TARGETS="qldixw-drawicon qldixw-devsim" qldixw_build "$host" -DCMAKE_BUILD_TYPE=Release

# The Windows tests run each program through the Linux peer and Wine (scripts/test-windows.sh).
peer_build="$QLDIXW_ROOT/build/windows-peer"
cmake -S "$QLDIXW_ROOT/tests/windows/peer" -B "$peer_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$peer_build.configure.log" 2>&1 || { cat "$peer_build.configure.log" >&2; exit 1; }
cmake --build "$peer_build" --parallel "$(nproc)" >"$peer_build.build.log" 2>&1 ||
  { cat "$peer_build.build.log" >&2; exit 1; }
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)

build="$QLDIXW_ROOT/build/windows"
qldixw_build "$build" -DCMAKE_TOOLCHAIN_FILE="$QLDIXW_WINDOWS_QT/lib/cmake/Qt6/qt.toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQLDIXW_HOST_DRAWICON="$host/packaging/qldixw-drawicon" \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$peer_build/qldixw-winepeer;$wine"

install="$build/install"
rm -rf "$install"
cmake --install "$build" --prefix "$install" --strip >"$build.install.log" 2>&1 ||
  { cat "$build.install.log" >&2; exit 1; }
# Qt's DLLs and the compiler's runtime come with their symbols (libstdc++ alone is 23 MB
# of them); --strip above only strips what this project built.
find "$install" -type f \( -name '*.dll' -o -name '*.exe' \) -exec "$QLDIXW_MINGW_TRIPLET-strip" --strip-unneeded {} +
version=$(sed -n 's/^!define VERSION "\(.*\)"$/\1/p' "$build/packaging/qldixw.nsi")
setup="$build/qldixw-$version-setup.exe"
makensis -V2 -DSOURCE="$install" -DOUTFILE="$setup" "$build/packaging/qldixw.nsi" >"$build.nsis.log" 2>&1 ||
  { cat "$build.nsis.log" >&2; exit 1; }
echo "installer: $(du -h "$setup" | cut -f1) ($(stat -c %s "$setup") bytes)"
echo "$setup"
