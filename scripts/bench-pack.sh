#!/usr/bin/env bash
# The batch benchmark: lz16pack on a folder of PNG files from Debian packages
# (4096x4096 wallpapers down to small sprites and tiles), against a shell
# loop of ImageMagick piped into lz16 and against libpng alone. Installs what
# it needs, builds a Release tree in build-bench/, writes the files to
# corpus/png/ (not kept in git) once, and prints the table. With "colour",
# the table of bytes and PSNR for the colour options instead. With "frames",
# sprite sheets from Debian's games and GIFs made of them (corpus/frames/)
# through lz16pack a file a frame, with repeats stored once, and joined
# (see bench/frames.py). With "alpha", images with alpha (icons by size,
# game sprites) in lz16's two planes against RGB565A8 and its LZ4 block (see
# bench/alpha.py). With "trim", the sheets of "frames" untrimmed and
# trimmed (see bench/trim.py).
#
#   scripts/bench-pack.sh [RUNS | colour | frames [RUNS] | alpha | trim [--thumb]]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
png=corpus/png

scripts/setup.sh --bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLZ16_BENCH=ON -DLZ16_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target lz16 lz16pack lz16-png-floor lz16-alpha-bench >/dev/null

if [ "${1:-}" = alpha ]; then
  mkdir -p corpus/alpha
  exec python3 bench/alpha.py "$build" corpus/alpha
fi

if [ "${1:-}" = frames ] || [ "${1:-}" = trim ]; then
  if [ ! -f corpus/frames/.complete ]; then
    rm -rf corpus/frames
    mkdir -p corpus/frames
    python3 bench/frames.py make corpus/frames
    touch corpus/frames/.complete
  fi
  [ "$1" = trim ] && exec python3 bench/trim.py "$build" corpus/frames "${@:2}"
  exec python3 bench/frames.py "$build" corpus/frames "${2:-5}"
fi

if [ ! -f "$png/.complete" ]; then
  rm -rf "$png"
  mkdir -p "$png"
  # take KIND FILE...: copies (or converts) each to KIND-NNN-NAME.png
  take() {
    local kind=$1 n=0 f
    shift
    for f in "$@"; do
      convert "$f" "png:$png/$kind-$(printf %03d $n)-$(basename "${f%.*}").png"
      n=$((n + 1))
    done
  }
  bg=/usr/share/backgrounds
  games=/usr/share/games
  take wallpaper "$bg"/gnome/{wood,pixels,truchet}-l.webp "$bg"/mate/abstract/{Flow,Gulp,Silk,Spring,Waves}.png
  take photo "$bg"/mate/nature/{Garden,LadyBird,Aqua}.jpg
  take tile $(find "$games/lincity-ng/images/tiles" -name '*.png' | sort | head -n 40)
  take sprite $(find "$games/pingus/data/images" -name '*.png' | sort | awk 'NR % 20 == 0' | head -n 40)
  take game $(find "$games/frozen-bubble/gfx" -name '*.png' | sort | awk 'NR % 50 == 0' | head -n 20)
  take icon $(find /usr/share/icons/Adwaita/48x48 -name '*.png' | sort | head -n 20)
  touch "$png/.complete"
fi
if [ "${1:-}" = colour ]; then
  python3 bench/colour.py "$build" "$png"
else
  python3 bench/batch.py "$build" "$png" "${1:-5}"
fi
