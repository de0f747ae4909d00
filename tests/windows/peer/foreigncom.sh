#!/usr/bin/env bash
# The peer starts no test while the Wine prefix has a COM port it did not make: one
# linked to the machine's serial device (as Wine links com1 to /dev/ttyS0), one in the
# peers' own range that leads to anything but a pseudo-terminal. The links are only
# made, never opened.
set -u
peer=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # <row> <expected status> <expected text in the output or ""> <link name> <target>...
  local row=$1 expected=$2 text=$3; shift 3
  rm -rf "$work/prefix"; mkdir -p "$work/prefix/dosdevices"
  ln -s ../drive_c "$work/prefix/dosdevices/c:"
  while [ $# -ge 2 ]; do ln -s "$2" "$work/prefix/dosdevices/$1"; shift 2; done
  local output status=0
  output=$(WINEPREFIX="$work/prefix" "$peer" true 2>&1) || status=$?
  if [ "$status" != "$expected" ] || { [ -n "$text" ] && [[ "$output" != *"$text"* ]]; }; then
    echo "FAIL [$row]: status $status (expected $expected), output: $output"
    failures=$((failures + 1))
  else
    echo "PASS [$row]"
  fi
}
check "Wine's own com1" 3 "com1 -> /dev/ttyS0" com1 /dev/ttyS0
check "upper case, beside a peer's link" 3 "COM2 -> /dev/ttyUSB0" com101 /dev/pts/7 COM2 /dev/ttyUSB0
check "in the peers' range, not a terminal" 3 "com150 -> /dev/ttyS1" com150 /dev/ttyS1
check "only peers' links" 0 "" com101 /dev/pts/7 com250 /dev/pts/8
check "no COM port at all" 0 ""
[ "$failures" = 0 ]
