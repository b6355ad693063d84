#!/usr/bin/env bash
# Writes the device decoder as one package that is at once an Arduino
# library, a PlatformIO library and an ESP-IDF component: OUT/lz16/, and
# OUT/lz16-VERSION.zip holding it (for the Arduino IDE's "Add .ZIP
# Library"). Everything comes from device/ (the decoder, device/package's
# manifests, device/examples) and integrations/lvgl; the examples' images
# are made from samples/tiles.png by BUILD/lz16pack. The same tree gives
# the same bytes, zip included.
#
#   scripts/device-package.sh OUT [BUILD]   (BUILD: where lz16pack is, default build)
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: scripts/device-package.sh OUT [BUILD]" >&2; exit 2; }
out=$1
pack=$(realpath "${2:-build}")/lz16pack
cd "$(dirname "$0")/.."
[ -x "$pack" ] || { echo "device-package: no lz16pack in ${2:-build}: build the tools first" >&2; exit 1; }
version=$(sed -n 's/^#define LZ16DEC_VERSION "\(.*\)"$/\1/p' device/lz16dec.h)
[ -n "$version" ] || { echo "device-package: no LZ16DEC_VERSION in device/lz16dec.h" >&2; exit 1; }

mkdir -p "$out"
pkg=$out/lz16
rm -rf "$pkg" "$out"/lz16-*.zip
mkdir -p "$pkg/src"
cp device/lz16dec.c device/lz16dec.h integrations/lvgl/lz16_lvgl.c integrations/lvgl/lz16_lvgl.h "$pkg/src/"
for f in library.properties library.json idf_component.yml CMakeLists.txt Kconfig; do
  sed "s/@VERSION@/$version/g" "device/package/$f" > "$pkg/$f"
done
cp -r device/examples "$pkg/examples"

# Each example's image: a header where the sketch includes tiles.h, the
# .lz file where it reads one from a file system or a flash chip
# (data/ is what the board's file-system upload tools send).
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/lvgl"
"$pack" -q -f h -o "$tmp" samples/tiles.png
"$pack" -q -f lz -o "$tmp" samples/tiles.png
"$pack" -q -f lvgl -o "$tmp/lvgl" samples/tiles.png
for sketch in "$pkg"/examples/*/*.ino "$pkg"/examples/esp_lcd/main/main.c; do
  dir=$(dirname "$sketch")
  if grep -q '#include "tiles.h"' "$sketch"; then
    if grep -q lz16_lvgl "$sketch"; then cp "$tmp/lvgl/tiles.c" "$tmp/lvgl/tiles.h" "$dir/"; else cp "$tmp/tiles.h" "$dir/"; fi
  fi
  if grep -q 'tiles\.lz' "$sketch"; then
    case $dir in */main) cp "$tmp/tiles.lz" "$dir/" ;; *) mkdir -p "$dir/data" && cp "$tmp/tiles.lz" "$dir/data/" ;; esac
  fi
done

# The zip: entries sorted, with one fixed time and mode, so that it too is
# the same bytes every time.
python3 - "$out" "$version" <<'PY'
import os, sys, zipfile
out, version = sys.argv[1], sys.argv[2]
paths = []
for top, dirs, files in os.walk(os.path.join(out, "lz16")):
    paths += [os.path.join(top, f) for f in files]
with zipfile.ZipFile(os.path.join(out, f"lz16-{version}.zip"), "w", zipfile.ZIP_DEFLATED) as z:
    for path in sorted(paths):
        info = zipfile.ZipInfo(os.path.relpath(path, out), date_time=(2020, 1, 1, 0, 0, 0))
        info.external_attr = 0o644 << 16
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            z.writestr(info, f.read())
PY
echo "device-package: $pkg and $out/lz16-$version.zip"
