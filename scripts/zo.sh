#!/usr/bin/env bash
# Sets up a Debian 12 machine for ZO Vovere, builds it into build/, and runs
# the program or the tests.
#
#   scripts/zo.sh run     install what is missing, build, start the program
#   scripts/zo.sh test    install what is missing, build, run every test
#   scripts/zo.sh setup [PACKAGE...]   only install what is missing (and these)
#   scripts/zo.sh build   install what is missing and build
set -euo pipefail

cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build
  qt6-base-dev qt6-serialport-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgl-dev
  googletest libgtest-dev libgmock-dev
  ser2net systemd debhelper autopkgtest desktop-file-utils shared-mime-info xvfb xauth openbox xdotool x11-utils
  dbus-daemon python3-dbusmock python3-pyatspi at-spi2-core appstream lintian
  qemu-system-x86 python3 xz-utils socat dmsetup e2fsprogs dosfstools mtools strace fusefat gdb
)

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

setup() {
  local missing=()
  for p in "${PACKAGES[@]}" "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    as_root apt-get update
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
  fi
}

build() {
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j2
}

case "${1:-}" in
  setup) shift; setup "$@" ;;
  build) setup; build ;;
  run) setup; build; exec ./build/bin/zo-vovere ;;
  test)
    setup; build
    QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j2
    ;;
  *)
    sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
