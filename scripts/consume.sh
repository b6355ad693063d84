#!/usr/bin/env bash
# lz16 as its users get it: installs BUILD_DIR to a temporary prefix, then
# builds the outside project in examples/assets against it, as docs/cmake.md
# says, and checks that
#  - every asset it decodes band by band with lz16::dec, and every frame
#    of its animation, played through the frame table, equals what the
#    installed lz16pack and unlz16 make of the same image;
#  - the icon with alpha it draws over a gradient is unlz16's RGBA of it
#    blended over that gradient, within one 5-bit level;
#  - configuring and building again regenerates nothing; touching an image
#    makes it again but leaves its files (and their times) as they were;
#    changing one rewrites only that image's files;
#  - a BUDGET one byte under the images' total stops the build, and the
#    total passes;
#  - the pkg-config file leads to a decoder source that compiles;
#  - the decoder library and the assets build for a Cortex-M0 with the
#    example's toolchain file.
#
#   scripts/consume.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d /tmp/lz16-consume.XXXXXX)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
for program in lz16 unlz16 lz16pack lz16-mkimage; do  # every program the docs name
  [ -x "$prefix/bin/$program" ] || { echo "cmake --install left out $program" >&2; exit 1; }
done

# A copy of the project, so that touching an image leaves the checkout alone.
cp -r examples/assets "$work/project"
ex=$work/build
cmake -S "$work/project" -B "$ex" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$ex" >/dev/null
mkdir "$work/shown" "$work/ref"
"$ex/show_assets" "$work/shown"

echo "assets decoded by the example against the installed lz16pack and unlz16"
for image in "$work"/project/images/*.* "$work"/project/images/sheets/*; do
  stem=$(basename "${image%.*}")
  frames=()
  [[ $image == */sheets/* ]] && frames=(--frames 16x16)  # as the example cuts them, but a file a frame
  report=$("$prefix/bin/lz16pack" --background ff00ff "${frames[@]}" -o "$work/ref" "$image" 2>&1)
  width=$(sed -n 's/^[^:]*: \([0-9]*\)x.*/\1/p' <<<"$report" | head -n 1)
  # a still picture is STEM.lz; an animation's frames are STEM-000.lz, STEM-001.lz, ...
  for lz in "$work/ref/$stem".lz "$work/ref/$stem"-[0-9][0-9][0-9].lz; do
    [ -e "$lz" ] || continue
    "$prefix/bin/unlz16" --format ppm --width "$width" "$lz" >"${lz%.lz}.ppm"
    cmp "${lz%.lz}.ppm" "$work/shown/$(basename "${lz%.lz}").ppm"
    echo "  $(basename "${lz%.lz}"): same pixels"
  done
done

echo "the icon with alpha the example drew over a gradient, against unlz16's RGBA of the installed lz16pack's planes"
"$prefix/bin/lz16pack" -q --alpha -o "$work/ref" "$work/project/images/alpha/gem.png"
"$prefix/bin/unlz16" --alpha "$work/ref/gem.alpha.lz" --format rgba "$work/ref/gem.lz" >"$work/ref/gem.rgba"
python3 tests/drawn_over.py "$work/ref/gem.rgba" "$work/shown/gem-over.ppm" | sed 's/^/  /'

generated=$ex/lz16_assets/game_assets
changed() { find "$generated" -maxdepth 1 -type f -newer "$work/mark" -printf '%f\n' | LC_ALL=C sort | tr '\n' ' '; }
touch "$work/mark"
sleep 1
cmake -S "$work/project" -B "$ex" >/dev/null
cmake --build "$ex" >/dev/null
[ -z "$(changed)" ] || { echo "configuring and building again regenerated: $(changed)" >&2; exit 1; }
touch "$work/mark"
sleep 1
touch "$work/project/images/ball.png"
cmake --build "$ex" >/dev/null
# ball.png is made again, and the budget checked again, but its files keep
# their bytes and their times: nothing that includes them is rebuilt
[[ "$(changed)" =~ ^"ball-"[0-9a-f]+".stamp budget-"[0-9a-f]+-[0-9]+".stamp "$ ]] ||
  { echo "touching ball.png regenerated: $(changed)" >&2; exit 1; }
touch "$work/mark"
sleep 1
cmake --build "$ex" >/dev/null
[ -z "$(changed)" ] || { echo "building again after touching ball.png regenerated: $(changed)" >&2; exit 1; }
touch "$work/mark"
sleep 1
convert "$work/project/images/ball.png" -flop "$work/project/images/ball.png"
cmake --build "$ex" >/dev/null
[[ "$(changed)" =~ ^"ball-"[0-9a-f]+".stamp ball.c ball.h budget-"[0-9a-f]+-[0-9]+".stamp "$ ]] ||
  { echo "changing ball.png regenerated: $(changed)" >&2; exit 1; }
touch "$work/mark"
sleep 1
touch "$work/project/images/sheets/bounce-strip.png"
cmake --build "$ex" >/dev/null
[[ "$(changed)" =~ ^"manifest-"[0-9a-f]+".stamp "$ ]] ||
  { echo "touching bounce-strip.png regenerated: $(changed)" >&2; exit 1; }
echo "rebuilds: nothing regenerated unchanged; touching an image made it again (and rechecked the budget),"
echo "  leaving its files as they were; changing it rewrote only its files"

# The budget: one byte under the images' total stops the build with
# lz16pack's line; the total itself passes.
total=$("$prefix/bin/lz16pack" --background ff00ff -o "$work/total" "$work"/project/images/*.* 2>&1 |
        sed -n 's/^total: [0-9]* images, \([0-9]*\) bytes.*/\1/p')
cmake -S "$work/project" -B "$ex" -DGAME_ASSETS_BUDGET=$((total - 1)) >/dev/null
if cmake --build "$ex" >"$work/over.log" 2>&1 ||
   ! grep -q "the assets take $total bytes, over the budget of $((total - 1)) bytes" "$work/over.log"; then
  echo "a budget of $((total - 1)) bytes did not stop the build:" >&2
  tail -n 20 "$work/over.log" >&2
  exit 1
fi
cmake -S "$work/project" -B "$ex" -DGAME_ASSETS_BUDGET=$total >/dev/null
cmake --build "$ex" >/dev/null
echo "budget: $((total - 1)) bytes stops the build, $total bytes passes"

source=$(PKG_CONFIG_PATH=$prefix/share/pkgconfig pkg-config --variable=source lz16dec)
cc -std=c99 -Wall -Wextra -pedantic -Werror $(PKG_CONFIG_PATH=$prefix/share/pkgconfig pkg-config --cflags lz16dec) \
  -c "$source" -o "$work/lz16dec.o"
echo "pkg-config: the decoder source compiles"

cmake -S "$work/project" -B "$work/arm" -DCMAKE_TOOLCHAIN_FILE="$work/project/arm-none-eabi.cmake" \
  -Dlz16_DIR="$prefix/lib/cmake/lz16" >/dev/null
cmake --build "$work/arm" >/dev/null
arm-none-eabi-objdump -f "$work/arm/liblz16_dec.a" | grep -q 'architecture: arm'
echo "Cortex-M0: lz16::dec and the assets built"
