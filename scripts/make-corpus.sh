#!/usr/bin/env bash
# Builds the benchmark corpus: raw 24-bit RGB images in corpus/ (not kept in
# git), from pictures that Debian packages ship, converted with ImageMagick,
# plus synthetic extremes from lz16-mkimage. Installs what it needs.
#
#   scripts/make-corpus.sh [MKIMAGE]   (MKIMAGE defaults to build/lz16-mkimage)
#
# Writes corpus/NAME.rgb and corpus/manifest.txt ("NAME WIDTH HEIGHT KIND").
set -euo pipefail
cd "$(dirname "$0")/.."
mkimage=${1:-build/lz16-mkimage}
out=corpus
mkdir -p "$out"

scripts/setup.sh --bench

manifest=$out/manifest.txt
: > "$manifest"

# emit NAME KIND then ImageMagick arguments producing one image; transparent
# parts are flattened onto a dark blue, as a game would draw them.
emit() {
  local name=$1 kind=$2
  shift 2
  local size
  convert "$@" -background '#203050' -alpha remove -alpha off -depth 8 "rgb:$out/$name.rgb"
  size=$(convert "$@" -format '%w %h' info: | head -n 1)
  echo "$name $size $kind" >> "$manifest"
  echo "  $name $size" >&2
}

# A sheet of many small pictures, as a game's sprite or tile atlas.
sheet() {
  local name=$1 kind=$2 cols=$3
  shift 3
  montage "$@" -background '#203050' -geometry +0+0 -tile "${cols}x" -depth 8 "png:$out/$name.png"
  emit "$name" "$kind" "$out/$name.png"
  rm -f "$out/$name.png"
}

bg=/usr/share/backgrounds
games=/usr/share/games

echo "photos and wallpapers" >&2
emit photo-garden photo "$bg/mate/nature/Garden.jpg"
emit photo-ladybird photo "$bg/mate/nature/LadyBird.jpg"
emit photo-storm photo "$bg/mate/nature/Storm.jpg"
emit wallpaper-wood wallpaper "$bg/gnome/wood-l.webp"
emit wallpaper-pixels wallpaper "$bg/gnome/pixels-l.webp"
emit wallpaper-flow wallpaper "$bg/mate/abstract/Flow.png"

echo "sprite sheets and tile sets" >&2
sheet sprites-pingus sprites 4 "$games"/pingus/data/images/pingus/player0/*.png
sheet sprites-bubbles sprites 16 "$games"/frozen-bubble/gfx/balls/*.png
sheet tiles-lincity tiles 12 $(find "$games/lincity-ng/images/tiles" -name '*.png' | sort | head -n 72)
sheet tiles-pingus-ground tiles 12 $(find "$games/pingus/data/images/groundpieces" -name '*.png' | sort | head -n 120)

echo "UI art" >&2
emit ui-netgame ui "$games/frozen-bubble/gfx/back_netgame.png"
sheet ui-icons ui 32 $(find /usr/share/icons/Adwaita/48x48 -name '*.png' | sort | head -n 512)

echo "text scan" >&2
# A page of text, slightly turned, grainy and soft, like a scanned page.
# ImageMagick's policy forbids reading text from a file, so it comes inline.
text=$(head -n 80 /usr/share/common-licenses/GPL-3 | sed 's/%/%%/g')
emit text-scan text -size 1700x2200 xc:white -font DejaVu-Serif -pointsize 22 -fill black \
  -annotate +80+90 "$text" -rotate 0.4 -attenuate 0.3 +noise Gaussian -blur 0x0.5 \
  -crop 1700x2200+0+0 +repage

echo "synthetic extremes" >&2
for kind in noise flat twocolor periodic; do
  "$mkimage" "$kind" 2048 2048 > "$out/synthetic-$kind.rgb"
  echo "synthetic-$kind 2048 2048 synthetic" >> "$manifest"
  echo "  synthetic-$kind 2048 2048" >&2
done
