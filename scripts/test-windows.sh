#!/usr/bin/env bash
# The Windows half, proven under Wine. Builds the whole console for Windows and its
# installer (scripts/build-windows.sh; Qt for Windows from the cache, built from Debian's
# source the first time), then, in one fresh private prefix (build/windows-wine) with one
# server and one virtual screen for the whole run:
#  - the Windows test programs (ctest in build/windows): the serial component and the
#    port list on their Win32 calls, each run through a Linux peer (tests/windows/peer)
#    that publishes pseudo-terminals as COM ports of the prefix and plays the devices on
#    them; and the Qt Test programs that need no pseudo-terminal of their own, on the
#    offscreen platform;
#  - the installer, silently, and the installed program: `qldixw.exe --script` with each
#    example against the device simulator published as a COM port (the JUnit report read
#    back), and its window on the virtual screen with --port COMn --mode dix, found in the
#    screen's window list and painted (build/windows/screens/console.png), then closed;
#  - the uninstaller, silently, and nothing of the program left.
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
qldixw_wine_tools
setup=$("$QLDIXW_ROOT/scripts/build-windows.sh" | tee /dev/stderr | tail -1)
built=$SECONDS
build="$QLDIXW_ROOT/build/windows"
devsim="$QLDIXW_ROOT/build/windows-host/tools/devsim/qldixw-devsim"
. "$QLDIXW_ROOT/scripts/windows-qt.sh"
qldixw_windows_qt >/dev/null

# A fresh prefix each run: nothing an earlier run left (ports, registry values, an
# installed program) is there.
qldixw_wine_fresh_prefix "$QLDIXW_ROOT/build/windows-wine"
qldixw_xvfb_start
sim=
stop() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  qldixw_wine_stop
}
trap stop EXIT
qldixw_wine_server_start
qldixw_wine_fonts

# The test programs from the build tree find Qt's and the compiler's DLLs on Wine's path.
mingw_runtime=$(dirname "$("$QLDIXW_MINGW_TRIPLET-g++-posix" -print-file-name=libstdc++-6.dll)")
export WINEPATH="$(qldixw_wine_path "$QLDIXW_WINDOWS_QT/bin");$(qldixw_wine_path "$mingw_runtime");$(qldixw_wine_path "/usr/$QLDIXW_MINGW_TRIPLET/lib")"
(cd "$build" && ctest --output-on-failure --parallel "$(nproc)")
unset WINEPATH
tested=$SECONDS

failures=0 passes=0
pass() { echo "PASS $1"; passes=$((passes + 1)); }
fail() { echo "FAIL $1"; failures=$((failures + 1)); }
# What the installed program wrote, kept for a failure's reading.
work="$build/installed-test"
rm -rf "$work"; mkdir -p "$work"

# Installed for every user, silently, as a technician's script would.
"$QLDIXW_WINE" "$setup" /S
folder="$WINEPREFIX/drive_c/Program Files/QLDIXw"
program="C:\\Program Files\\QLDIXw\\bin\\qldixw.exe"
for file in bin/qldixw.exe bin/Qt6Widgets.dll bin/platforms/qwindows.dll bin/styles/qwindowsvistastyle.dll \
  bin/libstdc++-6.dll share/qldixw/qldixw-protocol.html translations/qtbase_ru.qm uninstall.exe; do
  [ -f "$folder/$file" ] && pass "installed: $file" || fail "installed: $file is missing"
done
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/QLDIXw/QLDIXw.lnk"
[ -f "$menu" ] && pass "Start-menu entry" || fail "Start-menu entry is missing"
"$QLDIXW_WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\QLDIXw' /v UninstallString \
  2>/dev/null | grep -aq uninstall.exe && pass "listed for removal" || fail "not listed for removal"

# The simulator publishes its terminal as a COM port of the prefix, listed in SERIALCOMM
# as a driver would list it; its device name marks it as the tests' own. The installed
# program has no guard of its own: the prefix is checked before each start of it.
publish() { # <family> <COM number>
  local link="$WINEPREFIX/dosdevices/com$2" tries
  "$devsim" --family "$1" --link "$link" >"$work/sim$2.out" 2>"$work/sim$2.err" &
  sim=$!
  for tries in $(seq 300); do
    grep -q '^ready' "$work/sim$2.out" 2>/dev/null && break
    kill -0 "$sim" 2>/dev/null || break
    sleep 0.1
  done
  grep -q '^ready' "$work/sim$2.out" || { cat "$work/sim$2.err" >&2; return 1; }
  "$QLDIXW_WINE" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "\\Device\\QldixwSim$2" /d "COM$2" /f >/dev/null
  qldixw_wine_check_ports
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
  cases=$(grep -o '<testsuites [^>]*tests="[0-9]*"' "$report" 2>/dev/null | grep -o 'tests="[0-9]*"' || true)
  if [ "$status" = 0 ] && grep -q '<testsuites [^>]* failures="0" errors="0"' "$report" 2>/dev/null &&
    [ -n "$cases" ] && [ "$cases" != 'tests="0"' ]; then
    pass "$name.qlt on COM$com ($cases)"
  else
    fail "$name.qlt on COM$com: exit $status"; tail -20 "$work/$name.out" "$report" 2>/dev/null
  fi
done

# The window on the virtual screen, on a port of the prefix: found in the screen's window
# list by its title, and painted (a window not yet painted is one colour), then closed as
# a user would close it.
com=$((com + 1))
publish dix "$com"
"$QLDIXW_WINE" "$program" --port "COM$com" --mode dix >"$work/window.out" 2>&1 &
window=$!
id=
for tries in $(seq 600); do
  id=$(xwininfo -root -tree 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "QLDIXw V[^"]*".*/\1/p' | head -1)
  [ -n "$id" ] && break
  kill -0 "$window" 2>/dev/null || break
  sleep 0.1
done
painted=
if [ -n "$id" ]; then
  for tries in $(seq 300); do
    colours=$(xwd -id "$id" -silent 2>/dev/null | xwdtopnm 2>/dev/null | ppmhist -noheader 2>/dev/null | wc -l)
    [ "$colours" -ge 8 ] && { painted=1; break; }
    sleep 0.1
  done
fi
if [ -n "$painted" ]; then
  pass "the window is shown and painted ($colours colours)"
  mkdir -p "$build/screens"
  xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >"$build/screens/console.png" 2>/dev/null || true
else
  fail "no painted window within 60 s${id:+ (window $id found)}"; cat "$work/window.out"
fi
"$QLDIXW_WINE" taskkill /im qldixw.exe >/dev/null 2>&1 || true
closed=
for tries in $(seq 300); do
  kill -0 "$window" 2>/dev/null || { closed=1; break; }
  sleep 0.1
done
[ -n "$closed" ] && pass "the window closes" ||
  { fail "the program did not end within 30 s of closing"; kill "$window" 2>/dev/null || true; }
unpublish "$com"

# Removed silently: nothing of it is left. The uninstaller runs from a copy of itself in
# the temporary folder, so that it can remove its own file, and returns at once.
"$QLDIXW_WINE" "$folder/uninstall.exe" /S
for tries in $(seq 300); do
  [ -e "$folder" ] || break
  sleep 0.1
done
[ ! -e "$folder" ] && [ ! -e "$menu" ] && pass "uninstalled" || fail "files left after uninstalling"

echo "the Windows half: build $((built - started)) s, test programs $((tested - built)) s," \
  "the installed program $((SECONDS - tested)) s; $passes passed, $failures failed"
[ "$failures" = 0 ]
