# Sourced by scripts/test-windows.sh: a private Wine prefix with one server for the whole
# run, and what Wine puts there that must not be.
#
# Wine links dosdevices/com1 to the machine's /dev/ttyS0 (and further ports to the
# further ttyS devices) and lists them under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM each time
# the prefix's services start; on the machines these tests run on /dev/ttyS0 can be a
# live system console. Once the services are up, every COM link and SERIALCOMM value is
# removed before any test starts, and checked for again before each test program (the
# Wine peer and every test program refuse to run while one is there).

qldixw_wine_tools() {
  QLDIXW_WINE=$(command -v wine64 || echo /usr/lib/wine/wine64)
  QLDIXW_WINESERVER=$(command -v wineserver64 || echo /usr/lib/wine/wineserver64)
  [ -x "$QLDIXW_WINE" ] && [ -x "$QLDIXW_WINESERVER" ] || { echo "Wine's loader or server not found" >&2; return 1; }
}

# A new prefix at $1, booted, with no server left running.
qldixw_wine_fresh_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all
  # No Mono or Gecko: nothing here needs them, and their installers would ask.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  "$QLDIXW_WINESERVER" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
  "$QLDIXW_WINE" wineboot -i >"$WINEPREFIX.boot.log" 2>&1 || { cat "$WINEPREFIX.boot.log" >&2; return 1; }
  "$QLDIXW_WINESERVER" -w
}

# A virtual screen for the prefix's windows: up before the first Wine program of the
# server's life, or the program shows no window and hangs at its exit. Sets DISPLAY and
# QLDIXW_XVFB (its process).
qldixw_xvfb_start() {
  local display
  for display in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ] && continue
    Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$WINEPREFIX.xvfb.log" 2>&1 &
    QLDIXW_XVFB=$!
    local tries
    for tries in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$display" ] && { export DISPLAY=":$display"; return 0; }
      kill -0 "$QLDIXW_XVFB" 2>/dev/null || break
      sleep 0.1
    done
    kill "$QLDIXW_XVFB" 2>/dev/null || true
  done
  echo "no virtual screen could be started; see $WINEPREFIX.xvfb.log" >&2
  return 1
}

# One server for the whole run, so the prefix's services start once, not per program;
# then what they made for the machine's serial devices goes.
qldixw_wine_server_start() {
  "$QLDIXW_WINESERVER" -p 2>>"$WINEPREFIX.server.log"
  # The first program of the server's life starts the services, which make the links and
  # values before the program itself runs.
  "$QLDIXW_WINE" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /va /f >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
  local left
  left=$(qldixw_wine_foreign_ports)
  if [ -n "$left" ]; then
    echo "the Wine prefix still has COM ports after they were removed:" >&2
    echo "$left" >&2
    return 1
  fi
}

# The COM links and SERIALCOMM values of the prefix, one a line; nothing when none.
qldixw_wine_foreign_ports() {
  local link
  for link in "$WINEPREFIX"/dosdevices/com[0-9]*; do
    [ -L "$link" ] && echo "$link -> $(readlink "$link")"
  done
  "$QLDIXW_WINE" reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | grep -a 'REG_' || true
}

# Fails, naming them, while the prefix has a COM port that is not one of the tests' own:
# a link to anything but a pseudo-terminal, or a SERIALCOMM value of another device.
qldixw_wine_check_ports() {
  local foreign
  foreign=$(qldixw_wine_foreign_ports | grep -av -e ' -> /dev/pts/[0-9]*$' -e '^ *\\Device\\Qldixw' || true)
  [ -z "$foreign" ] && return 0
  echo "the Wine prefix has COM ports the tests did not make; a program could reach the machine's own serial devices:" >&2
  echo "$foreign" >&2
  return 1
}

# Debian's Tahoma (fonts-wine) where Windows keeps its fonts: Wine does not give a
# prefix the fonts of its own data folder.
qldixw_wine_fonts() {
  cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
}

qldixw_wine_stop() {
  "$QLDIXW_WINESERVER" -k 2>/dev/null || true
  [ -n "${QLDIXW_XVFB:-}" ] && kill "$QLDIXW_XVFB" 2>/dev/null || true
}

# The Windows path of a Linux path, through the prefix's drive Z: (the root).
qldixw_wine_path() {
  printf 'Z:%s' "${1//\//\\}"
}
