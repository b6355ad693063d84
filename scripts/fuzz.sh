#!/usr/bin/env bash
# Runs the libFuzzer targets under ASan+UBSan for a bounded time each:
#   decode_fuzzer  any bytes handed to both decoders, the device decoder
#                  whole and streamed against the strict one, and as a pair
#                  of planes to the blend forms (seeded with files the
#                  converter writes for small synthetic images, and pairs)
#   encode_fuzzer  the fast encoder, cut into up to four parts, against
#                  the exhaustive search
#   read_FORMAT_fuzzer  any bytes read by one image reader (png, jpeg, gif,
#                  webp, bmp, tga, qoi, ppm), seeded with the small files in
#                  samples/fuzz/FORMAT, valid ones and the hostile ones of
#                  scripts/hostile-samples.py; under its pixel limit no image
#                  needs 64 MB at once, so a larger request is a length the
#                  file only claims
#   manifest_fuzzer  any bytes read as lz16pack's manifest (seeded with the
#                  example's and the docs')
#
#   scripts/fuzz.sh [DECODE_SECONDS [ENCODE_SECONDS [SECONDS_EACH_READER [MANIFEST_SECONDS]]]]
# Expects build-asan configured with LZ16_SANITIZE and LZ16_FUZZ (as
# .ci/run does) and build/ with the Release tools. Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
decode_seconds=${1:-60}
encode_seconds=${2:-45}
reader_seconds=${3:-10}
manifest_seconds=${4:-30}
work=build-asan/fuzz
rm -rf "$work"
mkdir -p "$work/seeds" "$work/decode" "$work/encode" "$work/manifest" "$work/manifest-seeds"

for kind in gradient noise flat tiles twocolor periodic stripes; do
  for size in "24 16" "7 3" "130 20"; do
    build/lz16-mkimage "$kind" $size | build/lz16 > "$work/seeds/$kind-${size/ /x}.lz" 2>/dev/null
  done
done
printf '' | build/lz16 > "$work/seeds/empty.lz" 2>/dev/null
printf '\012\024\036' | build/lz16 > "$work/seeds/one.lz" 2>/dev/null
# Pairs of planes, a colour plane and then its alpha plane: an icon with
# soft edges, and the GIF and palette PNG with transparent pixels.
mkdir "$work/alpha"
python3 scripts/alpha-samples.py "$work/alpha"
build/lz16pack -q --alpha -o "$work/alpha" "$work/alpha/badge.png" samples/fuzz/gif/anim.gif samples/fuzz/png/palette.png
mkdir "$work/masks"
build/lz16pack -q --mask -o "$work/masks" "$work/alpha/badge.png" samples/fuzz/gif/anim.gif
cp "$work"/masks/*.lz "$work/seeds/"
for colour in "$work"/alpha/*.lz; do
  [[ $colour = *.alpha.lz ]] || cat "$colour" "${colour%.lz}.alpha.lz" > "$work/seeds/$(basename "${colour%.lz}").pair" 2>/dev/null || true
done

run() {
  local target=$1 seconds=$2
  shift 2
  echo "== $target for ${seconds}s"
  build-asan/"$target" -max_total_time="$seconds" -max_len=4096 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$work/$target-" "$@" 2> "$work/$target.log" || { tail -n 40 "$work/$target.log"; return 1; }
  grep -E "stat::number_of_executed_units|Done" "$work/$target.log"
}
run decode_fuzzer "$decode_seconds" "$work/decode" "$work/seeds"
run encode_fuzzer "$encode_seconds" "$work/encode"
for format in png jpeg gif webp bmp tga qoi ppm; do
  mkdir -p "$work/read_$format"
  run "read_${format}_fuzzer" "$reader_seconds" -malloc_limit_mb=64 "$work/read_$format" "samples/fuzz/$format"
done
cp examples/assets/sheets.toml "$work/manifest-seeds/"
sed -n '/^```toml/,/^```$/p' docs/manifests.md | grep -v '^```' > "$work/manifest-seeds/docs.toml"
run manifest_fuzzer "$manifest_seconds" -dict=fuzz/manifest.dict "$work/manifest" "$work/manifest-seeds"
