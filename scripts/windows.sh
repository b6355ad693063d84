#!/usr/bin/env bash
# The converter on Windows: lz16.exe cross-built with mingw-w64 and run
# under Wine must write the same bytes as the Linux build, over inputs full
# of the bytes a text-mode stream would change (0x1A, 0x0D, 0x0A), and the
# same report with its lines ended the Windows way.
#
#   scripts/windows.sh [LINUX_BUILD_DIR]    (default: build, with lz16 and lz16-mkimage built)
set -euo pipefail
cd "$(dirname "$0")/.."
linux=${1:-build}
rm -rf build-win
cmake -S . -B build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DLZ16_CONVERTER_ONLY=ON -DLZ16_WERROR=ON >/dev/null
cmake --build build-win -j2 >/dev/null
work=$(mktemp -d /tmp/lz16-windows.XXXXXX)
trap 'rm -rf "$work"' EXIT
export WINEPREFIX=$work/prefix WINEDEBUG=-all
wine=/usr/lib/wine/wine64
"$wine" wineboot --init >/dev/null 2>&1  # the prefix, made once, before any output is compared

# Inputs: every synthetic kind, one large enough to be encoded on several
# threads, and the three bytes alone, repeated and mixed.
for kind in noise tiles stripes twocolor; do "$linux/lz16-mkimage" "$kind" 97 61 7 > "$work/$kind.rgb"; done
"$linux/lz16-mkimage" gradient 640 480 3 > "$work/large.rgb"
head -c 30000 /dev/zero | tr '\0' '\032' > "$work/eof.rgb"
for k in $(seq 4000); do printf '\r\n\032'; done > "$work/crlf.rgb"
head -c 60000 /dev/urandom | tr -c '\r\n\032' '\n' > "$work/mixed.rgb"
printf '\032\r' > "$work/short.rgb"

failed=0
for input in "$work"/*.rgb; do
  "$linux/lz16" < "$input" > "$work/linux.lz" 2> "$work/linux.txt"
  "$wine" build-win/lz16.exe < "$input" > "$work/win.lz" 2> "$work/win.txt"
  sed 's/$/\r/' "$work/linux.txt" > "$work/linux-crlf.txt"
  if cmp -s "$work/linux.lz" "$work/win.lz" && cmp -s "$work/linux-crlf.txt" "$work/win.txt"; then
    echo "$(basename "$input"): $(stat -c %s "$work/win.lz") bytes, the same"
  else
    echo "$(basename "$input"): DIFFERS"
    failed=1
  fi
done
exit $failed
