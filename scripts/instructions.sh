#!/usr/bin/env bash
# Instructions a pixel of one entry point of the device decoder, built -Os:
# bench/lz16dec_count.c run on an index of images (lz16pack -f h --index
# device_images.h) once and not at all, single-stepped, the difference over
# the pixels. CPUs: thumb (Cortex-M0 code, qemu-arm), rv32 (RV32IMC,
# qemu-system-riscv32), lx106 (qemu-xtensa), m68k (68000 code, qemu-m68k)
# and avr (ATmega1284, simavr through bench/avr_count.c; the images in
# flash, as an Arduino build puts them).
#
#   scripts/instructions.sh CPU ENTRY INDEX_DIR PIXELS [WORK_DIR]
#
# ENTRY as bench/lz16dec_count.c numbers them. Sourced (with WORK set), it
# gives the function per_pixel with the same arguments, for scripts/device.sh.
warn=(-std=c99 -Wall -Wextra -pedantic -Werror)

# The decoder's object for a CPU, built once in $WORK.
decoder_object() { # CPU
  local object="$WORK/dec-$1.o"
  [ -e "$object" ] && return
  case $1 in
    thumb)
      arm-linux-gnueabi-gcc -mthumb -mcpu=cortex-m0 "${warn[@]}" -Os -Idevice -c device/lz16dec.c -o "$object"
      # Thumb code for the Cortex-M0 linked into a Linux program: drop the
      # object's v6-M tag, which would make the linker call the ARM-state C
      # library without changing state.
      arm-linux-gnueabi-objcopy -R .ARM.attributes "$object" ;;
    m68k) m68k-linux-gnu-gcc -mcpu=68000 "${warn[@]}" -Os -Idevice -c device/lz16dec.c -o "$object" ;;
    rv32) riscv64-unknown-elf-gcc -march=rv32imc -mabi=ilp32 "${warn[@]}" -Os -ffreestanding -Idevice \
            -c device/lz16dec.c -o "$object" ;;
    lx106) xtensa-lx106-elf-gcc "${warn[@]}" -Os -ffreestanding -Idevice -c device/lz16dec.c -o "$object" ;;
    avr) avr-gcc -mmcu=atmega1284 "${warn[@]}" -Os -DARDUINO -Idevice -c device/lz16dec.c -o "$object" ;;
    *) echo "instructions.sh: no CPU $1" >&2; return 2 ;;
  esac
}

count() { # CPU ENTRY INDEX_DIR REPS
  local program=(-DLZ16_ENTRY="$2" -DLZ16_REPS="$4" -Idevice -I"$3" bench/lz16dec_count.c) elf="$WORK/count-$1"
  decoder_object "$1"
  case $1 in
    thumb)
      arm-linux-gnueabi-gcc -mthumb "${warn[@]}" -O2 -static "${program[@]}" "$WORK/dec-thumb.o" -o "$elf"
      qemu-arm -singlestep -d nochain,exec -D /dev/stdout "$elf" | grep -c Trace ;;
    m68k)
      m68k-linux-gnu-gcc "${warn[@]}" -O2 -static "${program[@]}" "$WORK/dec-m68k.o" -o "$elf"
      qemu-m68k -singlestep -d nochain,exec -D /dev/stdout "$elf" | grep -c Trace ;;
    lx106)
      xtensa-lx106-elf-gcc "${warn[@]}" -O2 -ffreestanding -nostdlib -nostartfiles -static "${program[@]}" \
        device/boards/lz16_board.c "$WORK/dec-lx106.o" -lgcc -o "$elf"
      qemu-xtensa -cpu lx106 -singlestep -d nochain,exec -D /dev/stdout "$elf" | grep -c Trace ;;
    rv32)
      riscv64-unknown-elf-gcc -march=rv32imc -mabi=ilp32 "${warn[@]}" -O2 -ffreestanding -nostdlib -nostartfiles \
        -Wl,--no-warn-rwx-segments -T device/boards/rv32-virt.ld "${program[@]}" device/boards/lz16_board.c \
        "$WORK/dec-rv32.o" -o "$elf"
      timeout 300 qemu-system-riscv32 -M virt -bios none -nographic -kernel "$elf" -singlestep \
        -d nochain,exec -D /dev/stdout | grep -c Trace ;;
    avr)
      [ -x "$WORK/avr_count" ] ||
        cc -std=c99 -O2 -Wall -Wextra bench/avr_count.c -o "$WORK/avr_count" $(pkg-config --cflags --libs simavr)
      # (16 KB of RAM: the blend stream and a frame of up to 48x48 pixels)
      avr-gcc -mmcu=atmega1284 "${warn[@]}" -O2 -DARDUINO -DLZ16_OUT_WORDS=2304 "${program[@]}" \
        device/boards/lz16_board.c "$WORK/dec-avr.o" -o "$elf"
      "$WORK/avr_count" atmega1284 "$elf" 2>/dev/null | tail -n 1 ;;
  esac
}

per_pixel() { # CPU ENTRY INDEX_DIR PIXELS
  local none once
  none=$(count "$1" "$2" "$3" 0)
  once=$(count "$1" "$2" "$3" 1)
  awk -v d=$((once - none)) -v n="$4" 'BEGIN {printf "%.2f", d / n}'
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  set -euo pipefail
  cd "$(dirname "$0")/.."
  (($# >= 4)) || { echo "usage: scripts/instructions.sh CPU ENTRY INDEX_DIR PIXELS [WORK_DIR]" >&2; exit 2; }
  index=$(realpath "$3")
  WORK=${5:-$(mktemp -d /tmp/lz16-count.XXXXXX)}
  [ -n "${5:-}" ] || trap 'rm -rf "$WORK"' EXIT
  per_pixel "$1" "$2" "$index" "$4"
  echo
fi
