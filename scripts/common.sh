# Shared by ./run and ./test: Debian packages and the CMake build.

# Everything the build, the tests and the benchmarks need, from Debian's archive.
POTENCOR_PACKAGES=(
  cmake ninja-build g++
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev libgmp-dev
  xvfb xauth openbox xdotool xclip x11-utils imagemagick
  fonts-liberation fonts-dejavu-core qt6-translations-l10n
  desktop-file-utils appstream dpkg-dev file zlib1g-dev
)
# The About window's task-bar hint goes straight to X11: libxcb, found by pkg-config.
POTENCOR_PACKAGES+=(pkg-config libxcb1-dev)
# The chart benchmark's comparison with Qt Charts, which the README promises.
POTENCOR_PACKAGES+=(qt6-charts-dev)
# The package test renders potencor-check's manual page as man does.
POTENCOR_PACKAGES+=(groff-base man-db)
# The end-to-end tests' X client library (XTEST input, window queries).
POTENCOR_PACKAGES+=(python3-xlib)
# The Wayland end-to-end test: a headless sway, with and without XWayland.
POTENCOR_PACKAGES+=(sway xwayland qt6-wayland)
# The accessibility test: Qt's AT-SPI bridge read on a bus of the test's own.
POTENCOR_PACKAGES+=(at-spi2-core python3-pyatspi dbus)
# potencor-check for Windows: MinGW-w64 with its zlib, GoogleTest's sources to
# build with it, and Wine to run the result in the tests (wine brings the
# commands, wine64 the 64-bit loader).
POTENCOR_PACKAGES+=(g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest wine wine64 python3)
# potencor-check's output where a teacher opens it: a spreadsheet with Russian
# settings (and the locale data to make a Russian locale), a browser.
POTENCOR_PACKAGES+=(libreoffice-calc-nogui locales chromium)

ensure_packages() {
  local missing=()
  local p
  for p in "${POTENCOR_PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  # sudo resets the environment: the variable goes through env, past it.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
}

configure_and_build() {
  local dir="$1"; shift
  local werror=OFF
  [ -n "${CI:-}" ] && werror=ON
  echo "== building in $dir"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPOTENCOR_WERROR="$werror" "$@" >/dev/null
  cmake --build "$dir"
}
