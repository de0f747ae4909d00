#!/usr/bin/env bash
# The whole console on Windows, under Wine: builds it and its installer
# (scripts/build-windows.sh), runs its Windows tests (the Qt Test programs that need no
# pseudo-terminal of their own, on the offscreen platform, and tests/windows), installs
# it silently into a fresh prefix and runs the installed program: `qldixw.exe --script`
# with each example against the device simulator on a COM port of the prefix (the JUnit
# report read back), and the window on a virtual screen with --port COMn --mode dix. A
# screenshot of the window is left in build/windows/screens/.
set -euo pipefail
QLDIXW_ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$QLDIXW_ROOT/scripts/deps.sh"
. "$QLDIXW_ROOT/scripts/wine.sh"

started=$SECONDS
qldixw_install_deps "${QLDIXW_WINDOWS_CONSOLE_PACKAGES[@]}"
qldixw_wine_tools
setup=$("$QLDIXW_ROOT/scripts/build-windows.sh" | tee /dev/stderr | tail -1)
built=$SECONDS
build="$QLDIXW_ROOT/build/windows"
devsim="$QLDIXW_ROOT/build/windows-host/tools/devsim/qldixw-devsim"
. "$QLDIXW_ROOT/scripts/windows-qt.sh"
qldixw_windows_qt >/dev/null

qldixw_wine_fresh_prefix "$QLDIXW_ROOT/build/windows-console-wine"
qldixw_xvfb_start
trap qldixw_wine_stop EXIT
qldixw_wine_server_start
qldixw_wine_fonts

# The tests from the build tree find Qt's and the compiler's DLLs on Wine's path.
mingw_runtime=$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(qldixw_wine_path "$QLDIXW_WINDOWS_QT/bin");$(qldixw_wine_path "$mingw_runtime");$(qldixw_wine_path /usr/x86_64-w64-mingw32/lib)"
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
unset WINEPATH

failures=0 passes=0
pass() { echo "PASS $1"; passes=$((passes + 1)); }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

# Installed for every user, silently, as a technician's script would.
"$QLDIXW_WINE" "$setup" /S
folder="$WINEPREFIX/drive_c/Program Files/QLDIXw"
program="C:\\Program Files\\QLDIXw\\bin\\qldixw.exe"
for file in bin/qldixw.exe bin/Qt6Widgets.dll bin/platforms/qwindows.dll bin/libstdc++-6.dll \
  share/qldixw/qldixw-protocol.html translations/qtbase_ru.qm uninstall.exe; do
  [ -f "$folder/$file" ] && pass "installed: $file" || fail "installed: $file is missing"
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QLDIXw/QLDIXw.lnk"
[ -f "$menu" ] && pass "Start-menu entry" || fail "Start-menu entry is missing"
"$QLDIXW_WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QLDIXw' /v UninstallString \
  2>/dev/null | grep -aq uninstall.exe && pass "listed for removal" || fail "not listed for removal"

# The simulator publishes its terminal as a COM port of the prefix, listed in SERIALCOMM
# as a driver would list it; its device name marks it as the tests' own.
work=$(mktemp -d)
sim=
publish() { # <family> <COM number>
  local link="$WINEPREFIX/dosdevices/com$2"
  "$devsim" --family "$1" --link "$link" >"$work/sim.out" 2>"$work/sim.err" &
  sim=$!
  local tries
  for tries in $(seq 100); do
    grep -q '^ready' "$work/sim.out" 2>/dev/null && break
    sleep 0.1
  done
  "$QLDIXW_WINE" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\QldixwSim$2" /d "COM$2" /f >/dev/null
}
unpublish() { # <COM number>
  [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null || true
  sim=
  "$QLDIXW_WINE" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\QldixwSim$1" /f >/dev/null 2>&1 || true
}

com=200
for example in dispenser:dix memory:ql meter:erk; do
  name=${example%%:*} family=${example##*:}
  com=$((com + 1))
  publish "$family" "$com"
  report="$work/$name.xml"
  status=0
  "$QLDIXW_WINE" "$program" --script "$(qldixw_wine_path "$QLDIXW_ROOT/examples/$name.qlt")" --port "COM$com" \
    --junit "$(qldixw_wine_path "$report")" >"$work/$name.out" 2>&1 || status=$?
  unpublish "$com"
  if [ "$status" = 0 ] && grep -q '<testsuite' "$report" 2>/dev/null && grep -q 'failures="0"' "$report" &&
    ! grep -q 'tests="0"' "$report"; then
    pass "$name.qlt on COM$com ($(grep -o 'tests="[0-9]*"' "$report" | head -1))"
  else
    fail "$name.qlt on COM$com: exit $status"; cat "$work/$name.out" "$report" 2>/dev/null | tail -20
  fi
done

# The window on the virtual screen, on a port of the prefix, then closed as a user would.
com=$((com + 1))
publish dix "$com"
"$QLDIXW_WINE" "$program" --port "COM$com" --mode dix >"$work/window.out" 2>&1 &
window=$!
shown=
for tries in $(seq 300); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"QLDIXw V'; then shown=1; break; fi
  sleep 0.2
done
if [ -n "$shown" ]; then
  pass "the window is shown"
  mkdir -p "$build/screens"
  sleep 2 # its first paint
  xwd -root -silent >"$build/screens/console.xwd" 2>/dev/null || true
else
  fail "no window within 60 s"; cat "$work/window.out"
fi
"$QLDIXW_WINE" taskkill /im qldixw.exe >/dev/null 2>&1 || true
closed=
for tries in $(seq 150); do
  kill -0 "$window" 2>/dev/null || { closed=1; break; }
  sleep 0.2
done
[ -n "$closed" ] && pass "the window closes" || { fail "the program did not end within 30 s of closing"; kill "$window" || true; }
unpublish "$com"

# Removed silently: nothing of it is left. The uninstaller runs from a copy of itself in
# the temporary folder, so that it can remove its own file, and returns at once.
"$QLDIXW_WINE" "$folder/uninstall.exe" /S
for tries in $(seq 150); do
  [ -e "$folder" ] || break
  sleep 0.2
done
[ ! -e "$folder" ] && [ ! -e "$menu" ] && pass "uninstalled" || fail "files left after uninstalling"
rm -rf "$work"

echo "whole console under Wine: build $((built - started)) s, tests $((SECONDS - built)) s"
echo "$passes passed, $failures failed"
[ "$failures" = 0 ]
