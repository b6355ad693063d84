#!/usr/bin/env bash
# Installs what building and testing lz16 needs, from Debian's packages,
# where it is missing; with --bench, what the benchmarks need too. Safe to
# run again: it installs nothing twice.
#
#   scripts/setup.sh [--bench]
set -euo pipefail
packages=(cmake g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev libpng-dev libjpeg-dev libgif-dev libcli11-dev pkg-config
          # lz16pack's reports, read back by the tests: JSON by Python, the page by headless Chromium
          python3 chromium
          # the device decoder on other CPUs: sizes, cross builds, and qemu and simavr to run them
          gcc-arm-none-eabi gcc-arm-linux-gnueabi libc6-dev-armel-cross gcc-m68k-linux-gnu libc6-dev-m68k-cross
          gcc-avr avr-libc gcc-riscv64-unknown-elf qemu-user qemu-system-misc simavr
          # the converter built for Windows and run under Wine
          g++-mingw-w64-x86-64-posix wine64)
if [ "${1:-}" = --bench ]; then
  # zstd to compare with; ImageMagick and Debian's pictures for the corpus
  packages+=(libzstd-dev zstd liblz4-dev imagemagick gnome-backgrounds mate-backgrounds pingus-data frozen-bubble-data freeciv-data
             lincity-ng-data adwaita-icon-theme fonts-dejavu-core
             # LVGL's image converter, for its LZ4 images in bench/lvgl.py
             python3-png python3-lz4)
fi
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if ((${#missing[@]})); then
  echo "installing ${missing[*]}" >&2
  sudo=$( ((EUID == 0)) || echo sudo)
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
