#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps "${QLDIXW_WINDOWS_PACKAGES[@]}"
mkdir -p "$QLDIXW_ROOT/build"
# Every test under the address and undefined-behaviour sanitizers; clang, so the same
# build carries the fuzz targets run at the end.
CXX=clang++-14 qldixw_build "$QLDIXW_ROOT/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQLDIXW_SANITIZE=address,undefined -DQLDIXW_FUZZ=ON

# Once more without the windows (serial component, port directory, frame text, simulator
# and their tests), which also keeps that configuration building, under the thread
# sanitizer. It is built while the tests above run: they must pass on a busy machine
# anyway, and the whole run is shorter for it. Its output waits until the tests are done.
tsan="$QLDIXW_ROOT/build/tsan"
qldixw_build "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLDIXW_GUI=OFF -DQLDIXW_SANITIZE=thread \
  >"$tsan.phase.log" 2>&1 &
tsan_build=$!
trap 'kill "$tsan_build" 2>/dev/null || true' EXIT
(cd "$QLDIXW_ROOT/build/test" && ctest --output-on-failure --parallel "$(nproc)")
tsan_status=0
wait "$tsan_build" || tsan_status=$?
trap - EXIT
cat "$tsan.phase.log"
[ "$tsan_status" = 0 ] || exit "$tsan_status"
(cd "$tsan" && ctest --output-on-failure --parallel "$(nproc)")

# Every fuzz target for 10 seconds, on the sanitizer build above: the seeds and a short
# search, enough to catch a shallow regression and keep the whole run under ten minutes.
QLDIXW_FUZZ_BUILD="$QLDIXW_ROOT/build/test" "$QLDIXW_ROOT/fuzz/run.sh" 10

# The serial component and the port list on Windows: cross-built with mingw-w64 and run
# under Wine against pseudo-terminals published as COM ports.
"$QLDIXW_ROOT/scripts/test-windows.sh"
