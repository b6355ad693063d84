#!/usr/bin/env bash
# The device decoder on the CPUs it is for:
#  - code size of everything each entry point pulls in (code and constant
#    data, linked alone with unused sections dropped), built -Os for the
#    Cortex-M0 (Thumb) and the 68000; fails if any size grew past the figure
#    recorded in device/sizes.txt, so sizes only go down;
#  - the check harness, cross-built static for ARM Thumb (little-endian) and
#    m68k (big-endian), run under qemu-user on every kind of generated image,
#    with and without LZ16DEC_SWAP_BYTES.
#
#   scripts/device.sh [BUILD_DIR]   (host lz16 and lz16-mkimage from BUILD_DIR, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d /tmp/lz16-device.XXXXXX)
trap 'rm -rf "$work"' EXIT
warn=(-std=c99 -Wall -Wextra -pedantic -Werror)

echo "code size in bytes (recorded limit)"
grew=0
while read -r cpu entry limit; do
  case $cpu in
    cortex-m0) cc=(arm-none-eabi-gcc -mthumb -mcpu=cortex-m0); size=arm-none-eabi-size ;;
    68000) cc=(m68k-linux-gnu-gcc -mcpu=68000); size=m68k-linux-gnu-size ;;
    *) continue ;;
  esac
  keep=()
  [ "$entry" = lz16_stream_read ] && keep=(-Wl,--undefined=lz16_stream_init)
  "${cc[@]}" "${warn[@]}" -Os -ffreestanding -ffunction-sections -fdata-sections -nostdlib -nostartfiles \
    -Wl,--gc-sections -Wl,-e,"$entry" "${keep[@]}" -o "$work/size.elf" device/lz16dec.c
  bytes=$("$size" -A "$work/size.elf" | awk '$1 ~ /^\.(text|rodata)/ {s += $2} END {print s}')
  note=""
  if ((bytes > limit)); then note="  GREW"; grew=1; fi
  printf '  %-10s %-17s %4d (%d)%s\n' "$cpu" "$entry" "$bytes" "$limit" "$note"
done < device/sizes.txt
((grew == 0)) || { echo "a size grew past device/sizes.txt"; exit 1; }

for kind in gradient noise flat tiles twocolor periodic stripes; do
  "$build/lz16-mkimage" "$kind" 181 181 > "$work/$kind.rgb"
  "$build/lz16" < "$work/$kind.rgb" > "$work/$kind.lz" 2>/dev/null
done
for target in "arm arm-linux-gnueabi-gcc -mthumb" "m68k m68k-linux-gnu-gcc"; do
  read -r arch cc flags <<< "$target"
  for swap in "" -DLZ16DEC_SWAP_BYTES; do
    "$cc" $flags "${warn[@]}" -O2 -static $swap -Idevice tests/lz16dec_check.c device/lz16dec.c -o "$work/check"
    for kind in gradient noise flat tiles twocolor periodic stripes; do
      "qemu-$arch" "$work/check" "$work/$kind.rgb" "$work/$kind.lz" > /dev/null
    done
    echo "$arch${swap:+ $swap}: every kind decodes to its pixels under qemu-$arch"
  done
done
echo "the device checks took ${SECONDS} s"
