# Sourced by run.sh and test.sh: installs the Debian packages this project needs,
# by name, and only those that are missing. Quiet when nothing is missing.

QLDIXW_PACKAGES=(
  cmake g++ make pkgconf
  qt6-base-dev        # Qt Widgets, Qt Test and their CMake support
  qt6-base-private-dev # the log panes' accessibility test switches the platform's accessibility on
  qt6-charts-dev      # the meter's reading charts
  libqt6opengl6-dev   # Qt Charts' CMake package asks for Qt OpenGL's, which Debian 12 does not pull in
  fonts-wine          # a metric-compatible Tahoma with Cyrillic
  libqt6gui6          # its JPEG image plugin (qjpeg, over libjpeg-turbo) shows the About pictures
  qt6-translations-l10n # Qt's own words (dialogs, message-box buttons) in Russian
  clang-14 libclang-rt-14-dev # libFuzzer and the sanitizers for the fuzz targets
  dpkg-dev file               # CPack's library dependencies of the Debian package
  appstream lintian           # the package test checks the metainfo and the package itself
  ser2net                     # the serial device server the network-line tests publish a pseudo-terminal with
  ccache                      # a second build of the same sources (another build folder, a new clone) takes minutes less
)

# The Windows half (scripts/test-windows.sh, run by ./test.sh): mingw-w64's posix thread
# model (std::thread) for the cross build, Ninja for Qt for Windows built from Debian's
# source, NSIS for the installer, Wine's 64-bit loader to run it all, a virtual screen
# for the program's window, the tools that find it and take its picture, and Tahoma.
QLDIXW_WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix wine64 ninja-build nsis xvfb x11-utils x11-apps netpbm fonts-wine)

qldixw_install_deps() {
  local missing=() pkg
  for pkg in "${QLDIXW_PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0

  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/qldixw-apt.log 2>&1 || {
    # A fresh machine may have stale or empty package lists.
    "${sudo[@]}" apt-get update -q >>/tmp/qldixw-apt.log 2>&1 &&
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" >>/tmp/qldixw-apt.log 2>&1
  } || { echo "apt-get failed; see /tmp/qldixw-apt.log" >&2; tail -20 /tmp/qldixw-apt.log >&2; return 1; }
  # The tests start ser2net themselves, on 127.0.0.1 with their own configuration. The
  # package's own service, which publishes the machine's ttyS0 and ttyS1 on localhost,
  # is not wanted: where systemd started it with the install, it is stopped and disabled.
  if [[ " ${missing[*]} " == *" ser2net "* ]] && command -v systemctl >/dev/null &&
    systemctl is-enabled ser2net >/dev/null 2>&1; then
    "${sudo[@]}" systemctl disable --now ser2net >>/tmp/qldixw-apt.log 2>&1 || true
  fi
}

# Configures and builds one build directory: qldixw_build <dir> <cmake args...>
# QLDIXW_TARGETS="a b" builds only those targets (and what they need).
# A directory configured before with the same arguments (and compiler) is not configured
# again: the build step itself configures again when a CMakeLists.txt changed.
qldixw_build() {
  local dir=$1; shift
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$QLDIXW_ROOT} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
  local arguments
  arguments=$(printf '%q ' "CXX=${CXX:-}" "$@")
  if [ ! -f "$dir/CMakeCache.txt" ] || [ "$(cat "$dir.configure.args" 2>/dev/null)" != "$arguments" ]; then
    echo "configuring $dir"
    rm -f "$dir.configure.args"
    local launcher=()
    # Hits across clones and build folders: paths are hashed relative to the checkout.
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    cmake -S "$QLDIXW_ROOT" -B "$dir" "${launcher[@]}" "$@" >"$dir.configure.log" 2>&1 ||
      { cat "$dir.configure.log" >&2; return 1; }
    printf '%s' "$arguments" >"$dir.configure.args"
  fi
  local targets=()
  [ -n "${QLDIXW_TARGETS:-}" ] && targets=(--target $QLDIXW_TARGETS)
  echo "building $dir${QLDIXW_TARGETS:+ ($QLDIXW_TARGETS)}; a first build takes minutes, its log: $dir.build.log"
  local started=$SECONDS status
  # The whole output goes to the log; the terminal gets a line every 5 per cent.
  { cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}" 2>&1 && echo 0 >"$dir.build.status" ||
      echo $? >"$dir.build.status"; } | tee "$dir.build.log" | qldixw_build_progress
  status=$(cat "$dir.build.status")
  if [ "$status" != 0 ]; then
    { grep -E -A5 'error|Error' "$dir.build.log" || tail -20 "$dir.build.log"; } | head -80 >&2
    echo "build failed; full log: $dir.build.log" >&2
    return 1
  fi
  grep -E 'warning:' "$dir.build.log" >&2 || true
  echo "built $dir in $((SECONDS - started)) s"
}

# The build's own progress lines ("[ 42%] Building CXX object ..."), one every 5 per cent;
# none when there is nothing to build.
qldixw_build_progress() {
  awk '/^\[ *[0-9]+%\] (Building|Linking|Generating)/ {
         match($0, /[0-9]+%/); percent = substr($0, RSTART, RLENGTH - 1) + 0
         if (!worked || percent >= shown + 5) { print "  " $0; fflush(); shown = percent }
         worked = 1 }'
}
