#!/usr/bin/env bash
# Installs what is missing, builds (Release) and starts the console, with the device
# simulator answering on virtual port COM9 so the console works without hardware.
#   QLDIXW_SIM=dix|ql|erk  which device the simulator plays (default dix)
#   QLDIXW_SIM=none        no simulator
#   QLDIXW_MONITOR=dix|ql|erk  also a second simulator that plays both sides of a line
#                          of that family on COM7 (station) and COM8 (device), and the
#                          console starts in the mode "Монитор"
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")" && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"

qldixw_install_deps
mkdir -p "$QLDIXW_ROOT/build"
build="$QLDIXW_ROOT/build/release"
# The console and the simulator only: tests and benchmarks belong to ./test.sh.
QLDIXW_TARGETS="qldixw qldixw-devsim" qldixw_build "$build" -DCMAKE_BUILD_TYPE=Release

family=${QLDIXW_SIM:-dix}
console_options=()
if [ "$family" != none ]; then
  sim_options=(--family "$family" --port COM9)
  # A real memory controller refuses an ER write made without its guard bit.
  [ "$family" = ql ] && sim_options+=(--er-guard)
  coproc SIM { exec "$build/tools/devsim/qldixw-devsim" "${sim_options[@]}"; }
  sim_pid=$SIM_PID
  trap 'kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true' EXIT
  if ! read -r -t 10 word pty link <&"${SIM[0]}" || [ "$word" != ready ]; then
    echo "the device simulator did not start" >&2
    exit 1
  fi
  echo "device simulator ($family) answers on COM9 ($link -> $pty): the console starts on COM9 in its mode; press \"Открыть\""
  # The console opens with the simulator's port in its box and the simulator's mode selected.
  console_options=(--port COM9 --mode "$family")
fi

monitor_family=${QLDIXW_MONITOR:-}
if [ -n "$monitor_family" ]; then
  # A second simulator beside the first: bash keeps one coprocess only, so its ready line
  # is read from a file.
  taps_ready=$(mktemp)
  "$build/tools/devsim/qldixw-devsim" --family "$monitor_family" --conversation COM7,COM8 >"$taps_ready" &
  taps_pid=$!
  trap 'kill ${sim_pid:-} "$taps_pid" 2>/dev/null || true; wait 2>/dev/null || true; rm -f "$taps_ready"' EXIT
  word=
  for _ in $(seq 100); do
    read -r word _ <"$taps_ready" || true
    [ -n "$word" ] && break
    sleep 0.1
  done
  if [ "$word" != ready ]; then
    echo "the conversation simulator did not start" >&2
    exit 1
  fi
  echo "a simulated line ($monitor_family): the station's requests on COM7, the device's replies on COM8;" \
    "in \"Монитор\" put COM7 in A and COM8 in B, choose the protocol and press \"Начать\""
  console_options+=(--mode monitor)
fi

"$build/mainwindow/qldixw" "${console_options[@]}" "$@"
