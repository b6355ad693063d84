#!/usr/bin/env bash
# Installs what lz16 needs, from Debian's packages, where it is missing:
# by default what building the tools needs; with --tests, what the tests
# need too; with --bench, what the benchmarks need as well. Safe to run
# again: it installs nothing twice. With --web, what the web page needs:
# emscripten, and Debian's source packages of the image libraries, which
# scripts/build-web.sh builds for WebAssembly.
#
#   scripts/setup.sh [--tests | --bench | --web]
set -euo pipefail
# make: the build tool CMake's default generator calls (only a Recommends of cmake)
packages=(cmake make g++ pkg-config libpng-dev libjpeg-dev libgif-dev libwebp-dev libstb-dev libqoi-dev libcli11-dev
          libtomlplusplus-dev nlohmann-json3-dev)
case "${1:-}" in
  "") ;;
  --tests | --bench)
    packages+=(clang libclang-rt-14-dev libgtest-dev
               # lz16pack's reports, read back by the tests: JSON by Python, the page by headless Chromium
               python3 chromium
               # the device decoder on other CPUs: sizes, cross builds, and qemu and simavr to run them
               gcc-arm-none-eabi gcc-arm-linux-gnueabi libc6-dev-armel-cross gcc-m68k-linux-gnu libc6-dev-m68k-cross
               gcc-avr avr-libc gcc-riscv64-unknown-elf gcc-xtensa-lx106 qemu-user qemu-system-misc simavr
               # the Arduino package's examples built as the IDE does, and run with a panel on the bus
               arduino-builder arduino-core-avr libsimavr-dev libelf-dev
               # the converter built for Windows and run under Wine
               g++-mingw-w64-x86-64-posix wine64
               # ImageMagick, to turn pictures the way image editors do
               imagemagick
               # for the fault script: a file put back as it was comes from the cache
               ccache)
    if [ "$1" = --bench ]; then
      # Google Benchmark and zstd to compare with; ImageMagick and Debian's pictures for the corpus;
      # LVGL's image converter, for its LZ4 images in bench/lvgl.py
      packages+=(libbenchmark-dev libzstd-dev zstd liblz4-dev imagemagick gnome-backgrounds mate-backgrounds pingus-data
                 frozen-bubble-data freeciv-data lincity-ng-data adwaita-icon-theme fonts-dejavu-core python3-png python3-lz4)
    fi ;;
  --web)
    # emscripten; dpkg-dev to unpack Debian's sources with their patches; Chromium and Node to test the page
    packages+=(emscripten dpkg-dev chromium nodejs) ;;
  *) echo "usage: scripts/setup.sh [--tests | --bench | --web]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
  echo "installing ${missing[*]}" >&2
  sudo=$( ((EUID == 0)) || echo sudo)
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The web page's image libraries are built from Debian's own sources: the deb-src lines for them.
if [ "${1:-}" = --web ] && ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  sudo=$( ((EUID == 0)) || echo sudo)
  printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm bookworm-updates' 'Components: main' \
    'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $sudo tee /etc/apt/sources.list.d/lz16-debian-src.sources >/dev/null
  $sudo apt-get update -qq >/dev/null
fi
