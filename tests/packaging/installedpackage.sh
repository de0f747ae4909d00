#!/usr/bin/env bash
# installedpackage.sh <build directory> <version>
# Makes the .deb with this build's CPack configuration, unpacks it with dpkg -x into a
# temporary root and checks what a user gets: the files where the system looks for
# them, dependencies from the libraries plus the font and Qt's Russian words, metadata
# that appstreamcli and lintian accept, and both programs starting from the unpacked
# bin/.
set -euo pipefail
build=$1 version=$2
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# gzip: the same package, made faster than with the xz of a release.
(cd "$build" && cpack -G DEB -B "$root/out" -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$root/cpack.log" 2>&1) ||
  { cat "$root/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$root"/out/qldixw_*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
for needed in fonts-wine qt6-translations-l10n libqt6widgets6 libc6; do
  [[ ",$depends," == *", $needed"* || ",$depends," == *",$needed"* ]] || fail "Depends lacks $needed: $depends"
done

fs="$root/fs"
dpkg -x "$deb" "$fs"
share="$fs/usr/share"
for file in usr/bin/qldixw usr/bin/qldixw-devsim usr/share/applications/qldixw.desktop \
  usr/share/metainfo/org.example.qldixw.metainfo.xml usr/share/icons/hicolor/scalable/apps/qldixw.svg \
  usr/share/qldixw/qldixw-protocol.html \
  usr/share/man/man1/qldixw.1.gz usr/share/man/man1/qldixw-devsim.1.gz \
  usr/share/doc/qldixw/copyright usr/share/doc/qldixw/changelog.Debian.gz; do
  [ -f "$fs/$file" ] || fail "$file is not in the package"
done
grep -qx 'Exec=qldixw' "$share/applications/qldixw.desktop" || fail "the desktop entry starts something else"
# The chart window is a module the console loads when it first opens: Qt Charts is the
# module's library, not the console's, and the package depends on it all the same.
module=$(find "$fs/usr/lib" -path '*/qldixw/*' -name libqldixw_readingchart.so | head -n 1)
[ -n "$module" ] || fail "the chart module is not in the package"
readelf -d "$module" | grep -q 'NEEDED.*libQt6Charts' || fail "the chart module does not link Qt Charts"
! readelf -d "$fs/usr/bin/qldixw" | grep -q 'NEEDED.*libQt6Charts' || fail "the console links Qt Charts itself"
[[ ",$depends," == *"libqt6charts6"* ]] || fail "Depends lacks Qt Charts: $depends"
# The console looks for it by a path relative to its own folder, kept as UTF-16 text.
from_program=$(strings -e l "$fs/usr/bin/qldixw" | grep '/libqldixw_readingchart\.so$' || true)
from_program=${from_program%%$'\n'*}
[ -n "$from_program" ] || fail "the console names no chart module"
[ "$(realpath -m "$fs/usr/bin/$from_program")" = "$(realpath "$module")" ] ||
  fail "the console looks for its chart module at $from_program, the package has it at ${module#"$fs"}"
# The software centres' metadata: a reverse-DNS id, the release of this version.
appstreamcli validate --no-net "$share/metainfo/org.example.qldixw.metainfo.xml" >"$root/appstream.log" 2>&1 ||
  { cat "$root/appstream.log" >&2; fail "appstreamcli refuses the metainfo"; }
grep -q "<release version=\"$version\" date=\"[0-9-]*\"" "$share/metainfo/org.example.qldixw.metainfo.xml" ||
  fail "the metainfo names no release of $version"
# Debian's own checks; the package is not for Debian's archive, so no bug is closed by it.
lintian --fail-on error,warning --suppress-tags initial-upload-closes-no-bugs "$deb" >"$root/lintian.log" 2>&1 ||
  { cat "$root/lintian.log" >&2; fail "lintian"; }
# Every PNG is as large as the theme folder it sits in says (width and height in the header).
pngs=("$share"/icons/hicolor/*x*/apps/qldixw.png)
[ ${#pngs[@]} -ge 4 ] || fail "fewer than four icon sizes"
for png in "${pngs[@]}"; do
  size=$(basename "$(dirname "$(dirname "$png")")")
  read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$png")
  [ "$(( (w0 << 24) | (w1 << 16) | (w2 << 8) | w3 ))x$(( (h0 << 24) | (h1 << 16) | (h2 << 8) | h3 ))" = "$size" ] ||
    fail "$png is not $size"
done

# The console answers --version before it needs a window or a screen.
out=$("$fs/usr/bin/qldixw" --version)
[ "$out" = "qldixw $version" ] || fail "qldixw --version said: $out"
"$fs/usr/bin/qldixw" --help | grep -q -- '--version' || fail "qldixw --help lists no options"
# Qt's own options still reach Qt, even those holding the letters of -h and -v: the
# window opens and the console keeps running.
"$fs/usr/bin/qldixw" -platform offscreen -reverse >"$root/console.log" 2>&1 &
console_pid=$!
sleep 3
kill -0 "$console_pid" 2>/dev/null || { cat "$root/console.log" >&2; fail "the console ended at start"; }
kill -TERM "$console_pid"
wait "$console_pid" || true

# The simulator starts from the unpacked path, publishes its port and removes it on SIGTERM.
link="$root/COM9"
coproc SIM { exec "$fs/usr/bin/qldixw-devsim" --family dix --link "$link"; }
sim_pid=$SIM_PID
read -r -t 20 word pty published <&"${SIM[0]}" || fail "the simulator did not start"
[ "$word" = ready ] && [ "$published" = "$link" ] && [ -c "$pty" ] && [ -L "$link" ] ||
  fail "the simulator said: $word $pty $published"
kill -TERM "$sim_pid"
wait "$sim_pid" || fail "the simulator did not end cleanly"
[ ! -e "$link" ] || fail "the simulator left its link behind"
echo "PASS: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB)"
