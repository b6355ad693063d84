#!/usr/bin/env bash
# Every benchmark, one way in: installs what it needs (scripts/setup.sh
# --bench), builds a Release tree in build-bench/, makes its corpus under
# corpus/ once (not kept in git), and prints its table.
#
#   scripts/bench.sh NAME [ARGS]
#
#   converter [FLAGS]  lz16 against the exhaustive search and zstd -1 on the
#                      synthetic corpus, its peak memory, and the commands on
#                      files (FLAGS: Google Benchmark's, e.g.
#                      --benchmark_filter=photo)
#   batch [RUNS]       lz16pack on a folder of Debian's PNGs, against
#                      ImageMagick piped into lz16 and against libpng alone
#   colour             bytes and PSNR of the colour options, per image and kind
#   frames [RUNS]      sprite sheets and GIFs: a file a frame, repeats, joined
#   trim [--thumb]     the frames' sheets untrimmed and trimmed (--thumb: the
#                      Thumb instructions of drawing them)
#   alpha              icons and sprites with alpha against RGB565A8 and LZ4,
#                      then drawing's table
#   drawing            instructions a pixel of drawing those icons and sprites
#                      with alpha and as masks, on every CPU of the device
#                      decoder (a sample; under qemu and simavr)
#   fit [REPEATS]      --fit on Debian's wallpapers against ImageMagick
#   bleed [OUT.png]    what scaling does to edges, flat colours and ramps
#   lvgl [REPEATS]     lz16 images in LVGL against LVGL's own (needs an LVGL
#                      tree: LZ16_LVGL_DIR, or ../shared/lvgl-9.5.0)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
name=${1:-}
[ $# -gt 0 ] && shift
case "$name" in
  converter | batch | colour | frames | trim | alpha | drawing | fit | bleed | lvgl) ;;
  *) sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2; exit 2 ;;
esac

scripts/setup.sh --bench
if [ "$name" = lvgl ] && [ -z "${LZ16_LVGL_DIR:-}" ] && [ -f ../shared/lvgl-9.5.0/lvgl.h ]; then
  export LZ16_LVGL_DIR=$(realpath ../shared/lvgl-9.5.0)
fi
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLZ16_BENCH=ON -DLZ16_TESTS=OFF \
  -DLZ16_LVGL_DIR="${LZ16_LVGL_DIR:-}" >/dev/null
cmake --build "$build" -j2 >/dev/null

# The PNG folder of batch and colour: Debian's wallpapers, photos, tiles,
# sprites and icons, each as KIND-NNN-NAME.png.
png_corpus() {
  local png=corpus/png
  [ -f "$png/.complete" ] && return
  rm -rf "$png"
  mkdir -p "$png"
  take() {  # take KIND FILE...: copies (or converts) each
    local kind=$1 n=0 f
    shift
    for f in "$@"; do
      convert "$f" "png:$png/$kind-$(printf %03d $n)-$(basename "${f%.*}").png"
      n=$((n + 1))
    done
  }
  local bg=/usr/share/backgrounds games=/usr/share/games
  take wallpaper "$bg"/gnome/{wood,pixels,truchet}-l.webp "$bg"/mate/abstract/{Flow,Gulp,Silk,Spring,Waves}.png
  take photo "$bg"/mate/nature/{Garden,LadyBird,Aqua}.jpg
  take tile $(find "$games/lincity-ng/images/tiles" -name '*.png' | sort | head -n 40)
  take sprite $(find "$games/pingus/data/images" -name '*.png' | sort | awk 'NR % 20 == 0' | head -n 40)
  take game $(find "$games/frozen-bubble/gfx" -name '*.png' | sort | awk 'NR % 50 == 0' | head -n 20)
  take icon $(find /usr/share/icons/Adwaita/48x48 -name '*.png' | sort | head -n 20)
  touch "$png/.complete"
}

# The sheets and GIFs of frames and trim.
frames_corpus() {
  [ -f corpus/frames/.complete ] && return
  rm -rf corpus/frames
  mkdir -p corpus/frames
  python3 bench/frames.py make corpus/frames
  touch corpus/frames/.complete
}

case "$name" in
  converter)
    [ -f corpus/manifest.txt ] || scripts/make-corpus.sh "$build/lz16-mkimage"
    # Peak resident memory of the real command, per image, and of an empty run.
    peak=$build/peak.txt
    : > "$peak"
    printf '' | /usr/bin/time -f 'empty %M' -a -o "$peak" "$build/lz16" >/dev/null 2>&1
    while read -r image _; do
      /usr/bin/time -f "$image %M" -a -o "$peak" "$build/lz16" < "corpus/$image.rgb" >/dev/null 2>/dev/null
    done < corpus/manifest.txt
    # The two commands as a build runs them, file in and file out.
    python3 bench/commands.py corpus "$build/lz16" > "$build/commands.txt"
    "$build/lz16-bench" --corpus=corpus --benchmark_out="$build/bench.json" --benchmark_out_format=json \
      --benchmark_format=console "$@" >&2
    python3 bench/report.py "$build/bench.json" corpus/manifest.txt "$peak" "$build/commands.txt" ;;
  batch) png_corpus; python3 bench/batch.py "$build" corpus/png "${1:-5}" ;;
  colour) png_corpus; python3 bench/colour.py "$build" corpus/png ;;
  frames) frames_corpus; python3 bench/frames.py "$build" corpus/frames "${1:-5}" ;;
  trim) frames_corpus; python3 bench/trim.py "$build" corpus/frames "$@" ;;
  alpha) mkdir -p corpus/alpha; python3 bench/alpha.py "$build" corpus/alpha ;;
  drawing) mkdir -p corpus/alpha; python3 bench/drawing.py "$build" corpus/alpha ;;
  fit) python3 bench/fit.py "$build" "$@" ;;
  bleed) python3 bench/bleed.py "$build" "${1:-docs/bleed.png}" ;;
  lvgl)
    [ -n "${LZ16_LVGL_DIR:-}" ] || { echo "bench.sh lvgl: set LZ16_LVGL_DIR to an LVGL 9 source tree" >&2; exit 2; }
    python3 bench/lvgl.py "$build" "$@" ;;
esac
