#!/usr/bin/env bash
# The benchmark: builds a Release lz16 with its benchmark, makes the corpus
# if it is missing, times lz16, the exhaustive search and zstd -1 on every
# image side by side, measures lz16's peak memory, times the lz16 and zstd
# commands on the image files, and prints the tables.
#
#   scripts/bench.sh [Google Benchmark flags, e.g. --benchmark_filter=photo]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench

scripts/setup.sh --bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLZ16_BENCH=ON -DLZ16_TESTS=OFF >/dev/null
cmake --build "$build" -j2 >/dev/null
[ -f corpus/manifest.txt ] || scripts/make-corpus.sh "$build/lz16-mkimage"

# Peak resident memory of the real command, per image, and of an empty run.
peak=$build/peak.txt
: > "$peak"
printf '' | /usr/bin/time -f 'empty %M' -a -o "$peak" "$build/lz16" >/dev/null 2>&1
while read -r name _; do
  /usr/bin/time -f "$name %M" -a -o "$peak" "$build/lz16" < "corpus/$name.rgb" >/dev/null 2>/dev/null
done < corpus/manifest.txt

# The two commands as a build runs them, file in and file out.
python3 bench/commands.py corpus "$build/lz16" > "$build/commands.txt"

"$build/lz16-bench" --corpus=corpus --benchmark_out="$build/bench.json" --benchmark_out_format=json \
  --benchmark_format=console "$@" >&2
python3 bench/report.py "$build/bench.json" corpus/manifest.txt "$peak" "$build/commands.txt"
