#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps
mkdir -p "$QLDIXW_ROOT/build"
# Every test under the address and undefined-behaviour sanitizers; clang, so the same
# build carries the fuzz targets run at the end.
CXX=clang++-14 qldixw_build "$QLDIXW_ROOT/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQLDIXW_SANITIZE=address,undefined -DQLDIXW_FUZZ=ON
(cd "$QLDIXW_ROOT/build/test" && ctest --output-on-failure --parallel "$(nproc)")

# The serial port component once more under the thread sanitizer: its own tests only.
tsan="$QLDIXW_ROOT/build/tsan"
cmake -S "$QLDIXW_ROOT" -B "$tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLDIXW_SANITIZE=thread \
  >"$tsan.configure.log" 2>&1 || { cat "$tsan.configure.log" >&2; exit 1; }
cmake --build "$tsan" --target commport_checks --parallel "$(nproc)" >"$tsan.build.log" 2>&1 ||
  { grep -E -A5 'error|Error' "$tsan.build.log" | head -80 >&2; exit 1; }
(cd "$tsan" && ctest -L commport --output-on-failure)

# Every fuzz target for 20 seconds, on the sanitizer build above.
QLDIXW_FUZZ_BUILD="$QLDIXW_ROOT/build/test" "$QLDIXW_ROOT/fuzz/run.sh" 20
