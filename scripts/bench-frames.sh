#!/usr/bin/env bash
# The frames benchmark: real sprite sheets from Debian's game packages
# (pingus and freeciv), and animated GIFs made from some of them, through
# lz16pack as a file a frame, with repeats stored once, and joined (see
# bench/frames.py). Installs what it needs,
# builds a Release tree in build-bench/, writes the files to corpus/frames/
# (not kept in git) once, and prints the table.
#
#   scripts/bench-frames.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-bench
out=corpus/frames

scripts/setup.sh --bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLZ16_BENCH=ON -DLZ16_TESTS=OFF >/dev/null
cmake --build "$build" -j2 --target lz16pack >/dev/null

if [ ! -f "$out/.complete" ]; then
  rm -rf "$out"
  mkdir -p "$out"
  python3 bench/frames.py make "$out"
  touch "$out/.complete"
fi
python3 bench/frames.py "$build" "$out" "${1:-5}"
