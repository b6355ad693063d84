#!/usr/bin/env bash
# The device decoder on the CPUs it is for:
#  - lz16dec.c builds clean (-std=c99 -Wall -Wextra -pedantic -Werror) for
#    Cortex-M0, 68000, AVR (ATmega2560), RV32IMC and the ESP8266's Xtensa
#    LX106, in every pixel order, with and without LZ16DEC_SWAP_BYTES;
#  - the size of the streams' state, and the stack the whole-image forms
#    with alpha take, on each;
#  - the code size of everything each entry point pulls in (code and
#    constant data, linked alone with unused sections dropped), built -Os;
#    fails if one grew past its figure in device/sizes.txt;
#  - the file harness (tests/lz16dec_check.c) cross-built static for ARM
#    Thumb (little-endian) and m68k (big-endian) and run under qemu-user on
#    every kind of generated image and a photo, in every order and swap;
#  - the same harness with the images built in (-DLZ16_BUILTIN) on RV32IMC under
#    qemu-system-riscv32, on the LX106 under qemu-xtensa, and on an
#    ATmega2560 under simavr, with the files in flash read through
#    LZ16DEC_READ_BYTE(p)=pgm_read_byte(p): its checksums must be the host's
#    for the encoder's words (each harness reads the files from memory and
#    through a callback, and draws them in bands, whole and through a window);
#  - images with alpha (scripts/alpha-samples.py) drawn by every blend entry
#    point on Thumb, m68k, RV32IMC and an ATmega1284 (16 KB, room for the
#    blend's two windows), with the host's checksums;
#  - instructions a pixel of each entry point on Thumb, RV32 and LX106
#    (-Os), counted by single-stepping bench/lz16dec_count.c under qemu
#    (scripts/instructions.sh), on a 181x181 tile map and photo, and drawing
#    with alpha (and as masks) a 24x24 icon and a 320x240 screen in bands.
#
#   scripts/device.sh [BUILD_DIR]   (lz16, lz16pack, unlz16 and lz16-mkimage from BUILD_DIR, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d /tmp/lz16-device.XXXXXX)
trap 'rm -rf "$work"' EXIT
warn=(-std=c99 -Wall -Wextra -pedantic -Werror)
kinds=(gradient noise flat tiles twocolor periodic stripes)
configs=()
for format in RGB565 BGR565 RGB555 BGR555; do
  configs+=("-DLZ16DEC_FORMAT=LZ16DEC_$format" "-DLZ16DEC_FORMAT=LZ16DEC_$format -DLZ16DEC_SWAP_BYTES")
done
avr_flash=(-include avr/pgmspace.h "-DLZ16DEC_READ_BYTE(p)=pgm_read_byte(p)")

compiler() {
  case $1 in
    cortex-m0) cc=(arm-none-eabi-gcc -mthumb -mcpu=cortex-m0); size=arm-none-eabi-size ;;
    68000) cc=(m68k-linux-gnu-gcc -mcpu=68000); size=m68k-linux-gnu-size ;;
    atmega2560) cc=(avr-gcc -mmcu=atmega2560); size=avr-size ;;
    rv32imc) cc=(riscv64-unknown-elf-gcc -march=rv32imc -mabi=ilp32); size=riscv64-unknown-elf-size ;;
    lx106) cc=(xtensa-lx106-elf-gcc); size=xtensa-lx106-elf-size ;;
    *) return 1 ;;
  esac
}

for cpu in cortex-m0 68000 atmega2560 rv32imc lx106; do
  compiler $cpu
  extra=(); [ $cpu = atmega2560 ] && extra=("${avr_flash[@]}")
  for config in "${configs[@]}"; do
    # shellcheck disable=SC2086
    "${cc[@]}" "${warn[@]}" -Os -ffreestanding "${extra[@]}" $config -c device/lz16dec.c -o "$work/clean.o"
  done
done
echo "lz16dec.c builds clean for Cortex-M0, 68000, ATmega2560, RV32IMC and LX106, in every order and swap"

echo "state in bytes: struct lz16_stream, lz16_blend_stream, lz16_blend_file; stack of lz16_decode_blend, lz16_unpack_blend"
printf '#include "lz16dec.h"\nstruct lz16_stream s;\nstruct lz16_blend_stream b;\nstruct lz16_blend_file f;\n' > "$work/state.c"
for cpu in cortex-m0 68000 atmega2560 rv32imc lx106; do
  compiler $cpu
  "${cc[@]}" "${warn[@]}" -Os -ffreestanding -fno-common -Idevice -c "$work/state.c" -o "$work/state.o"
  "${cc[@]}" "${warn[@]}" -Os -ffreestanding -fstack-usage -c device/lz16dec.c -o "$work/dec.o"
  # nm lists them by name: b, f, s
  read -r -a sizes <<< "$("${size%-size}-nm" -S "$work/state.o" | awk '$3 == "B" {printf "%s ", $2}')"
  stack=$(awk -F'\t' '/:lz16_(decode|unpack)_blend\t/ {printf "%s%s", n++ ? ", " : "", $2}' "$work/dec.su")
  printf '  %-10s %d, %d, %d; stack %s\n' $cpu "$((16#${sizes[2]}))" "$((16#${sizes[0]}))" "$((16#${sizes[1]}))" "$stack"
done

echo "code size in bytes (recorded limit)"
grew=0
while read -r cpu entry limit; do
  compiler "$cpu" || continue
  keep=()
  case $entry in
    lz16_stream_open) keep=(-Wl,--undefined=lz16_stream_read) ;;  # a file through a callback, read
    lz16_blend_open | lz16_mask_init) keep=(-Wl,--undefined=lz16_blend_read) ;;
    lz16_stream_* | lz16_draw | lz16_draw_window) keep=(-Wl,--undefined=lz16_stream_init) ;;
    lz16_blend_* | lz16_draw_blend) keep=(-Wl,--undefined=lz16_blend_init) ;;
  esac
  libgcc=(); [[ $entry = *blend* || $entry = *mask* || $entry = lz16_draw* ]] && libgcc=(-lgcc)  # 32-bit multiply and divide
  "${cc[@]}" "${warn[@]}" -Os -ffreestanding -ffunction-sections -fdata-sections -nostdlib -nostartfiles \
    -Wl,--gc-sections -Wl,-e,"$entry" "${keep[@]}" -o "$work/size.elf" device/lz16dec.c "${libgcc[@]}"
  bytes=$("$size" -A "$work/size.elf" | awk '$1 ~ /^\.(text|rodata)/ {s += $2} END {print s}')
  note=""
  if ((bytes > limit)); then note="  GREW"; grew=1; fi
  printf '  %-10s %-17s %4d (%d)%s\n' "$cpu" "$entry" "$bytes" "$limit" "$note"
done < device/sizes.txt
((grew == 0)) || { echo "a size grew past device/sizes.txt"; exit 1; }

# The images: raw RGB for the harnesses' expected words, .lz files, and PPM
# for lz16pack's arrays. The photo's RGB is its decoded words widened.
for kind in "${kinds[@]}"; do
  "$build/lz16-mkimage" "$kind" 181 181 > "$work/$kind.rgb"
done
"$build/lz16-mkimage" gradient 24 24 > "$work/small.rgb"
"$build/lz16pack" -q -f lz -o "$work" samples/photo.png
"$build/unlz16" --format rgb24 "$work/photo.lz" > "$work/photo.rgb"
for image in "${kinds[@]}"; do
  "$build/lz16" < "$work/$image.rgb" > "$work/$image.lz" 2>/dev/null
done
for image in tiles small photo; do
  side=181; [ $image = small ] && side=24
  { printf 'P6\n%d %d\n255\n' $side $side; cat "$work/$image.rgb"; } > "$work/$image.ppm"
done
python3 scripts/alpha-samples.py "$work"
"$build/lz16pack" -q --alpha -o "$work" "$work/badge.png" "$work/screen.png"
mkdir "$work/rv32" "$work/avr" "$work/avr-alpha"
"$build/lz16pack" -q -f h --alpha --index device_images.h -o "$work/rv32" "$work/tiles.ppm" "$work/photo.ppm" \
  "$work/small.ppm" "$work/badge.png"
"$build/lz16pack" -q -f h --index device_images.h -o "$work/avr" "$work/tiles.ppm" "$work/small.ppm"
"$build/lz16pack" -q -f h --alpha --index device_images.h -o "$work/avr-alpha" "$work/badge.png"

# What the built-in harness must print for IMAGEs, by the host harness's
# own reference words (or for one with alpha, the host drawing it), in the
# order and swap of its build.
expected() { # ROOM IMAGE...
  local room=$1 image
  shift
  for image; do
    if [ -e "$work/$image.alpha.lz" ]; then
      "$work/host-check" --blend-sums "$image" "$work/$image.lz" "$work/$image.alpha.lz"
    else
      "$work/host-check" --sums "$image" "$work/$image.rgb" "$room"
    fi
  done
  echo done
}

builtin=(-DLZ16_BUILTIN tests/lz16dec_check.c device/boards/lz16_board.c device/lz16dec.c)
for config in "${configs[@]}"; do
  label=${config//-DLZ16DEC_FORMAT=LZ16DEC_/}
  label=${label/ -DLZ16DEC_SWAP_BYTES/, swapped}
  # shellcheck disable=SC2086
  gcc "${warn[@]}" -O2 $config -Idevice tests/lz16dec_check.c device/lz16dec.c -o "$work/host-check"
  for kind in "${kinds[@]}" photo; do "$work/host-check" "$work/$kind.rgb" "$work/$kind.lz" > /dev/null; done
  for target in "arm arm-linux-gnueabi-gcc -mthumb" "m68k m68k-linux-gnu-gcc"; do
    read -r arch cc flags <<< "$target"
    # shellcheck disable=SC2086
    "$cc" $flags "${warn[@]}" -O2 -static $config -Idevice tests/lz16dec_check.c device/lz16dec.c -o "$work/check"
    for kind in "${kinds[@]}" photo; do
      "qemu-$arch" "$work/check" "$work/$kind.rgb" "$work/$kind.lz" > /dev/null
    done
    for image in badge screen; do
      diff <("$work/host-check" --blend-sums "$image" "$work/$image.lz" "$work/$image.alpha.lz") \
        <("qemu-$arch" "$work/check" --blend-sums "$image" "$work/$image.lz" "$work/$image.alpha.lz") ||
        { echo "$arch ($label): $image drawn otherwise than on the host"; exit 1; }
    done
  done

  # shellcheck disable=SC2086
  riscv64-unknown-elf-gcc -march=rv32imc -mabi=ilp32 "${warn[@]}" -Os -ffreestanding -nostdlib -nostartfiles \
    -Wl,--no-warn-rwx-segments -T device/boards/rv32-virt.ld $config -Idevice -I"$work/rv32" \
    "${builtin[@]}" -o "$work/rv32.elf"
  timeout 60 qemu-system-riscv32 -M virt -bios none -nographic -kernel "$work/rv32.elf" > "$work/rv32.out"
  expected 1024 tiles photo small badge > "$work/rv32.want"
  diff -u "$work/rv32.want" <(tr -d '\r' < "$work/rv32.out") || { echo "rv32imc ($label): wrong words"; exit 1; }
  # shellcheck disable=SC2086
  xtensa-lx106-elf-gcc "${warn[@]}" -Os -ffreestanding -nostdlib -nostartfiles -static $config -Idevice \
    -I"$work/rv32" "${builtin[@]}" -lgcc -o "$work/lx106.elf"
  timeout 60 qemu-xtensa -cpu lx106 "$work/lx106.elf" > "$work/lx106.out"
  diff -u "$work/rv32.want" "$work/lx106.out" || { echo "lx106 ($label): wrong words"; exit 1; }

  # shellcheck disable=SC2086
  avr-gcc -mmcu=atmega2560 "${warn[@]}" -Os "${avr_flash[@]}" -DTILES_ATTR=PROGMEM -DSMALL_ATTR=PROGMEM \
    -DLZ16_ROOM=600 $config -Idevice -I"$work/avr" "${builtin[@]}" -o "$work/avr.elf"
  # simavr prints the UART's lines in colour, each ending in a dot
  timeout 120 simavr -m atmega2560 -f 16000000 "$work/avr.elf" 2>&1 |
    sed -n 's/\x1b\[[0-9;]*m//g; s/\.$//p' > "$work/avr.out"
  expected 600 tiles small > "$work/avr.want"
  diff -u "$work/avr.want" "$work/avr.out" || { echo "atmega2560 ($label): wrong words"; exit 1; }
  # shellcheck disable=SC2086
  avr-gcc -mmcu=atmega1284 "${warn[@]}" -Os "${avr_flash[@]}" -DBADGE_ATTR=PROGMEM -DLZ16_ROOM=600 $config \
    -Idevice -I"$work/avr-alpha" "${builtin[@]}" -o "$work/avr-alpha.elf"
  timeout 120 simavr -m atmega1284 -f 16000000 "$work/avr-alpha.elf" 2>&1 |
    sed -n 's/\x1b\[[0-9;]*m//g; s/\.$//p' > "$work/avr-alpha.out"
  expected 600 badge > "$work/avr-alpha.want"
  diff -u "$work/avr-alpha.want" "$work/avr-alpha.out" || { echo "atmega1284 ($label): wrong drawing"; exit 1; }
  echo "$label: every entry point gives the encoder's words, and draws the images with alpha as the host does, on the host, Thumb, m68k and LX106 (qemu-user), RV32IMC (qemu-system) and AVR (simavr, from flash)"
done

# Instructions a pixel: the difference between running an entry point on an
# image once and not at all, over its pixels (scripts/instructions.sh).
WORK=$work
# shellcheck source=scripts/instructions.sh
source scripts/instructions.sh
for image in tiles.ppm photo.ppm badge.png screen.png; do
  mkdir "$work/count-${image%.*}"
  "$build/lz16pack" -q -f h --alpha --index device_images.h -o "$work/count-${image%.*}" "$work/$image"
done
for image in badge screen; do
  mkdir "$work/count-$image-mask"
  "$build/lz16pack" -q -f h --mask --index device_images.h -o "$work/count-$image-mask" "$work/$image.png"
done
echo "instructions a pixel, -Os: opaque (181x181 tiles / photo; file: the stream on a callback copying from memory;"
echo "draw: lz16_draw in bands of 16 rows), and drawn with alpha (24x24 icon / 320x240 screen; draw_blend: over a"
echo "colour; mask: lz16_decode_mask of their alpha)"
printf '  %-6s' ""; printf ' %13s' unpack decode stream skip file draw unpack_blend blend_stream draw_blend mask; echo
for cpu in thumb rv32 lx106; do
  printf '  %-6s' $cpu
  for entry in 1 2 3 4 7 8; do
    printf ' %13s' "$(per_pixel $cpu $entry "$work/count-tiles" 32761)/$(per_pixel $cpu $entry "$work/count-photo" 32761)"
  done
  for entry in 5 6 9 10; do
    mask=""; ((entry == 10)) && mask=-mask
    printf ' %13s' "$(per_pixel $cpu $entry "$work/count-badge$mask" 576)/$(per_pixel $cpu $entry "$work/count-screen$mask" 76800)"
  done
  echo
done
echo "the device checks took ${SECONDS} s"
