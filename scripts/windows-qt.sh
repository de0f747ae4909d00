# Sourced by scripts/build-windows.sh: Qt for Windows, built from Debian's own source
# packages with mingw-w64 into a cache outside the checkout, since Debian ships no Qt
# built for Windows. The source is the version of the host's Qt tools (moc, rcc, uic run
# on the host and must match the libraries), fetched with apt through a private
# configuration, so the machine's own package lists stay as they are.
#
#   qldixw_windows_qt           sets QLDIXW_WINDOWS_QT to the installed Qt (Core, Gui,
#                               Widgets, Test, the windows and offscreen platforms, and
#                               Charts when its source could be had)
#
# The cache (QLDIXW_CACHE, by default ${XDG_CACHE_HOME:-$HOME/.cache}/qldixw) keeps one
# folder per source version and configuration; a build whose key matches is reused.

QLDIXW_CACHE=${QLDIXW_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/qldixw}
QLDIXW_MINGW_TRIPLET=x86_64-w64-mingw32

# What the console needs of Qt and nothing more. The +dfsg source has no wintab (so no
# tablet events) and no bundled libjpeg; Debian's cross patch turns androiddeployqt on;
# -no-feature-direct2d breaks the link of qwindows.dll in 6.4.2, so only direct2d1_1 is
# left out. FreeType is bundled so that the offscreen platform is built: the tests run on
# it under Wine as they do on Linux.
QLDIXW_WINDOWS_QT_OPTIONS=(
  -release -shared -nomake examples -nomake tests
  -no-opengl -no-dbus -no-feature-sql -no-feature-network -no-feature-xml
  -no-feature-printsupport -no-feature-concurrent -no-feature-tabletevent
  -no-feature-androiddeployqt -no-feature-direct2d1_1
  -qt-zlib -qt-pcre -qt-libpng -qt-harfbuzz -qt-doubleconversion -qt-freetype
)

# apt through a private configuration: deb-src entries for the machine's own Debian
# suites, lists and caches under $1. Prints nothing; apt's output goes to $1/apt.log.
qldixw_private_apt() {
  local dir=$1; shift
  local sandbox=()
  [ "$(id -u)" = 0 ] && sandbox=(-o APT::Sandbox::User=root)
  apt-get -q -o Dir::Etc::sourcelist="$dir/sources.list" -o Dir::Etc::sourceparts="$dir/sources.list.d" \
    -o Dir::State::Lists="$dir/lists" -o Dir::Cache="$dir/cache" -o Debug::NoLocking=1 \
    "${sandbox[@]}" "$@" >>"$dir/apt.log" 2>&1
}

# The machine's Debian entries (one-line and deb822 forms) with deb-src for deb.
qldixw_private_apt_sources() {
  local dir=$1 file
  rm -rf "$dir/sources.list.d" "$dir/lists"
  mkdir -p "$dir/sources.list.d" "$dir/lists/partial" "$dir/cache/archives/partial"
  : >"$dir/sources.list"
  if [ -f /etc/apt/sources.list ]; then
    grep -E '^[[:space:]]*deb[[:space:]].*debian' /etc/apt/sources.list |
      sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >>"$dir/sources.list" || true
  fi
  for file in /etc/apt/sources.list.d/*.list; do
    [ -f "$file" ] || continue
    grep -E '^[[:space:]]*deb[[:space:]].*debian' "$file" |
      sed -E 's/^[[:space:]]*deb[[:space:]]/deb-src /' >>"$dir/sources.list" || true
  done
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] || continue
    # deb822: stanzas separated by blank lines; keep those of Debian's archives.
    awk 'BEGIN { RS = ""; ORS = "\n\n" }
         /URIs:[^\n]*debian/ && /Types:[^\n]*deb/ && !/Enabled:[[:space:]]*no/ {
           gsub(/Types:[^\n]*/, "Types: deb-src"); print }' "$file" >"$dir/sources.list.d/$(basename "$file")"
  done
  if ! grep -q . "$dir/sources.list" "$dir"/sources.list.d/*.sources 2>/dev/null; then
    echo "deb-src http://deb.debian.org/debian bookworm main" >"$dir/sources.list"
  fi
}

# Fetches and unpacks the source package $1 at version $2 into $3 (a folder made anew).
qldixw_debian_source() {
  local package=$1 version=$2 into=$3 apt=$QLDIXW_CACHE/apt
  local downloads=$QLDIXW_CACHE/sources/$package-$version
  if [ ! -f "$downloads/complete" ]; then
    mkdir -p "$apt"
    if [ ! -f "$apt/updated" ] || [ -n "$(find "$apt/updated" -mtime +1)" ]; then
      qldixw_private_apt_sources "$apt"
      qldixw_private_apt "$apt" update || { tail -20 "$apt/apt.log" >&2; return 1; }
      touch "$apt/updated"
    fi
    rm -rf "$downloads"; mkdir -p "$downloads"
    (cd "$downloads" && qldixw_private_apt "$apt" source --download-only "$package=$version") ||
      { echo "could not fetch the source of $package $version; see $apt/apt.log" >&2; return 1; }
    touch "$downloads/complete"
  fi
  rm -rf "$into"
  dpkg-source --no-check -x "$downloads"/*.dsc "$into" >/dev/null
}

# Version of the installed Debian package $1.
qldixw_installed_version() {
  dpkg-query -W -f='${Version}' "$1"
}

qldixw_windows_qt() {
  local version key prefix work
  version=$(qldixw_installed_version qt6-base-dev-tools) || return 1
  # The key: the source, the options, the compiler and this recipe's toolchain.
  key=$( { echo "$version"; printf '%s\n' "${QLDIXW_WINDOWS_QT_OPTIONS[@]}"
           "$QLDIXW_MINGW_TRIPLET-g++-posix" --version | head -1
           qldixw_windows_qt_toolchain /dev/stdout /nonexistent; } | sha256sum | cut -c1-12)
  prefix=$QLDIXW_CACHE/qt6-windows-$version-$key
  work=$QLDIXW_CACHE/work
  if [ ! -f "$prefix/complete" ]; then
    echo "building Qt $version for Windows into $prefix (once; about 20 minutes, less with a warm ccache);"
    echo "  its log: $work/qt6-base.build.log"
    rm -rf "$prefix" "$work"; mkdir -p "$prefix" "$work"
    qldixw_debian_source qt6-base "$version" "$work/qt6-base" || return 1
    qldixw_windows_qt_toolchain "$prefix/mingw-w64.cmake" "$prefix"
    qldixw_windows_qt_base "$work" "$prefix" || return 1
    rm -rf "$work"
    touch "$prefix/complete"
  fi
  QLDIXW_WINDOWS_QT=$prefix
  qldixw_windows_qt_charts || return 1
}

# Qt Charts beside it, from Debian's qt6-charts source of the host's version, when that
# source can be had; without it the Windows build has no chart window (the meter says so).
qldixw_windows_qt_charts() {
  local version prefix=$QLDIXW_WINDOWS_QT work=$QLDIXW_CACHE/work
  [ -f "$prefix/charts.complete" ] && return 0
  [ -f "$prefix/charts.missing" ] && [ -z "$(find "$prefix/charts.missing" -mtime +1)" ] && return 0
  version=$(qldixw_installed_version qt6-charts-dev) || return 1
  rm -rf "$work"; mkdir -p "$work"
  if ! qldixw_debian_source qt6-charts "$version" "$work/qt6-charts"; then
    echo "Qt Charts' source $version could not be had: the Windows build goes without the chart window" >&2
    touch "$prefix/charts.missing"
    return 0
  fi
  echo "building Qt Charts $version for Windows; its log: $work/qt6-charts.build.log"
  qldixw_windows_qt_module "$work/qt6-charts" "$work/qt6-charts-build" "$prefix" \
    >"$work/qt6-charts.build.log" 2>&1 || {
    # The console builds and runs without it; the chart window's menu item says so.
    tail -30 "$work/qt6-charts.build.log" >&2
    echo "Qt Charts failed to build: the Windows build goes without the chart window" >&2
    touch "$prefix/charts.missing"
    return 0; }
  rm -rf "$work" "$prefix/charts.missing"
  touch "$prefix/charts.complete"
}

# The toolchain Qt is built with and records: the posix thread model, and no -static, so
# Qt's DLLs and the program share one libstdc++, libgcc and winpthread. Written to $1;
# $2 is the Qt prefix it belongs to.
qldixw_windows_qt_toolchain() {
  cat >"$1" <<EOF
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $QLDIXW_MINGW_TRIPLET-gcc-posix)
set(CMAKE_CXX_COMPILER $QLDIXW_MINGW_TRIPLET-g++-posix)
set(CMAKE_RC_COMPILER $QLDIXW_MINGW_TRIPLET-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$QLDIXW_MINGW_TRIPLET $2)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

# ccache where present, with paths hashed relative to the source, so a new work folder
# hits what the last one compiled.
qldixw_windows_qt_launcher() {
  command -v ccache >/dev/null && echo "-DCMAKE_C_COMPILER_LAUNCHER=ccache;-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
}

qldixw_windows_qt_base() {
  local work=$1 prefix=$2 launcher
  local log=$work/qt6-base.build.log
  IFS=';' read -r -a launcher <<<"$(qldixw_windows_qt_launcher)"
  mkdir -p "$work/qt6-base-build"
  (
    cd "$work/qt6-base-build" &&
    export CCACHE_BASEDIR=$work CCACHE_NOHASHDIR=1 &&
    nice -n 19 "$work/qt6-base/configure" -prefix "$prefix" -xplatform win32-g++ \
      -device-option CROSS_COMPILE=$QLDIXW_MINGW_TRIPLET- \
      -qt-host-path /usr "${QLDIXW_WINDOWS_QT_OPTIONS[@]}" -- -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.cmake" \
      -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake "${launcher[@]}" &&
    nice -n 19 cmake --build . --parallel "$(nproc)" &&
    cmake --install .
  ) >"$log" 2>&1 || { tail -40 "$log" >&2; echo "Qt for Windows failed to build; log: $log" >&2; return 1; }
}

# Another Qt module's source ($1) built in $2 against the Qt in $3 and installed there.
qldixw_windows_qt_module() {
  local source=$1 build=$2 prefix=$3 launcher
  IFS=';' read -r -a launcher <<<"$(qldixw_windows_qt_launcher)"
  mkdir -p "$build"
  cd "$build" &&
  export CCACHE_BASEDIR=$(dirname "$source") CCACHE_NOHASHDIR=1 &&
  nice -n 19 "$prefix/bin/qt-configure-module" "$source" -- -G Ninja "${launcher[@]}" &&
  nice -n 19 cmake --build . --parallel "$(nproc)" &&
  cmake --install .
}
