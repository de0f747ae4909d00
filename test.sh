#!/usr/bin/env bash
# Installs what is missing, builds and runs every test.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps
mkdir -p "$QLDIXW_ROOT/build"
qldixw_build "$QLDIXW_ROOT/build/test" -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd "$QLDIXW_ROOT/build/test" && ctest --output-on-failure --parallel "$(nproc)")
