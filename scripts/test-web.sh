#!/usr/bin/env bash
# Tests the web page: builds it (scripts/build-web.sh), then drives it in
# Debian's Chromium with puppeteer-core (from npm, at the version
# web/tests/package-lock.json pins) against native lz16pack on three
# batches: the samples with a manifest, the fuzz corpus (every reader's
# valid and hostile files) and generated images of every input type.
#
#   scripts/test-web.sh [SCREENSHOT]   (default: build-web/page.png)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=${LZ16_WEB_WORK:-$root/build-web}
shot=${1:-$work/page.png}
scripts/build-web.sh "$work/page"
# Native lz16pack to compare with.
if [ ! -x build/lz16pack ]; then
  cmake -S . -B build >/dev/null && cmake --build build -j"$(nproc)" --target lz16pack >/dev/null
fi
cmake --build build -j"$(nproc)" --target lz16pack >/dev/null
mkdir -p "$work/node"
cp web/tests/package.json web/tests/package-lock.json "$work/node/"
(cd "$work/node" && npm ci --no-audit --no-fund --silent)

# The batches, each in a folder of its own.
batches=$work/batches
rm -rf "$batches"
mkdir -p "$batches/samples" "$batches/fuzz" "$batches/generated"
cp samples/*.png samples/*.gif "$batches/samples/"
cat > "$batches/samples/assets.toml" <<'EOF'
format = "c"
index = "assets.h"
alpha = true

[[asset]]
input = "strip.png"
name = "hero"
frames = "16x16"
trim = true

[[asset]]
input = "photo.png"
fit = "64x64"
dither = true
EOF
# The fuzz corpus, each file named after its format too, so that no two share a stem.
for file in samples/fuzz/*/*; do
  cp "$file" "$batches/fuzz/$(basename "$(dirname "$file")")-$(basename "$file")"
done
python3 web/tests/make-images.py "$batches/generated"

NODE_PATH=$work/node/node_modules node web/tests/page.test.js "$work/page/lz16.html" build/lz16pack "$work/test" "$shot" \
  "$batches/samples" "$batches/fuzz" "$batches/generated"
