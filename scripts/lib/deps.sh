# Installs the Debian packages the project needs, only when one is missing.
# Sourced by scripts/run, scripts/test and scripts/bench.

VANTREL_BUILD_PACKAGES=(cmake ninja-build ccache g++ clang-14 libclang-rt-14-dev clang-format clang-tidy
  qt6-base-dev libgl-dev libjpeg62-turbo-dev libgtest-dev googletest libbenchmark-dev fonts-dejavu-core fonts-dejavu-extra
  nlohmann-json3-dev libpugixml-dev pkg-config libudfread-dev libavformat-dev libavcodec-dev libavutil-dev)
VANTREL_TEST_PACKAGES=(ffmpeg xvfb xauth imagemagick valgrind time mkvtoolnix lintian
  qt6-base-private-dev openbox jwm wmctrl x11-utils python3-pycdlib strace xdotool)
# scripts/run --vnc: a virtual screen, a window manager and a VNC server.
VANTREL_VNC_PACKAGES=(xvfb xauth openbox x11vnc)

vantrel_missing_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  echo "${missing[@]}"
}

vantrel_ensure_packages() {
  local missing
  missing=$(vantrel_missing_packages "$@")
  [ -z "$missing" ] && return 0
  echo "Installing: $missing"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing
}
