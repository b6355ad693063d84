#!/usr/bin/env bash
# The README's picture of lz16pack's page: the sample images and the
# example's assets packed with --html, shown by headless Chromium with the
# flags the page's test uses, at 1000x1300.
#
#   scripts/report-shot.sh [BUILD_DIR [OUT.png]]   (default build, docs/report.png)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(realpath -m "${2:-docs/report.png}")
work=$(mktemp -d /tmp/lz16-shot.XXXXXX)
trap 'rm -rf "$work"' EXIT
cp samples/tiles.png samples/photo.png examples/assets/images/*.* "$work"
(cd "$work" && "$OLDPWD/$build/lz16pack" -q --key ff00ff -o assets --html page.html -- *.png *.gif)
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run --disable-background-networking \
  --disable-component-update --disable-sync --user-data-dir="$work/profile" --hide-scrollbars \
  --window-size=1000,1300 --screenshot="$out" "file://$work/assets/page.html" 2>/dev/null
echo "$out"
