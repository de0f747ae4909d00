#!/usr/bin/env bash
# The Windows half, proven under Wine: cross-builds the serial component, the Windows
# port list and their tests with mingw-w64 (-DQLDIXW_GUI=OFF, no Qt) and runs the tests
# under Wine in a private prefix (build/windows-wine).
# Each test program runs through a Linux peer (tests/windows/peer) that makes
# pseudo-terminals, publishes them as COM ports of the prefix (dosdevices/comN) and
# plays the devices on them; the tests write the registry values they read themselves.
#
# QLDIXW_SKIP_WINDOWS=1 skips it, for a quick local loop; CI never sets it.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"
. "$QLDIXW_ROOT/scripts/wine.sh"

if [ "${QLDIXW_SKIP_WINDOWS:-}" = 1 ]; then
  echo "the Windows half is skipped (QLDIXW_SKIP_WINDOWS=1)"
  exit 0
fi
started=$SECONDS
qldixw_install_deps "${QLDIXW_WINDOWS_PACKAGES[@]}"
mkdir -p "$QLDIXW_ROOT/build"
qldixw_wine_tools

# The peer runs on Linux: a small project of its own, built natively.
peer_build="$QLDIXW_ROOT/build/windows-peer"
cmake -S "$QLDIXW_ROOT/tests/windows/peer" -B "$peer_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  >"$peer_build.configure.log" 2>&1 || { cat "$peer_build.configure.log" >&2; exit 1; }
cmake --build "$peer_build" --parallel "$(nproc)" >"$peer_build.build.log" 2>&1 ||
  { cat "$peer_build.build.log" >&2; exit 1; }

build="$QLDIXW_ROOT/build/windows-mingw"
qldixw_build "$build" -DCMAKE_TOOLCHAIN_FILE="$QLDIXW_ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DQLDIXW_GUI=OFF -DCMAKE_BUILD_TYPE=Debug \
  "-DCMAKE_CROSSCOMPILING_EMULATOR=$peer_build/qldixw-winepeer;$QLDIXW_WINE"

# A fresh prefix each run: nothing an earlier run left (ports, registry values) is there.
qldixw_wine_fresh_prefix "$QLDIXW_ROOT/build/windows-wine"
trap qldixw_wine_stop EXIT
qldixw_wine_server_start
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
echo "the Windows half took $((SECONDS - started)) s"
