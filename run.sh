#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts the console.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps
mkdir -p "$QLDIXW_ROOT/build"
qldixw_build "$QLDIXW_ROOT/build/release" -DCMAKE_BUILD_TYPE=Release

exec "$QLDIXW_ROOT/build/release/mainwindow/qldixw" "$@"
