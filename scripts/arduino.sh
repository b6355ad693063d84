#!/usr/bin/env bash
# The device package where firmware is written: builds it
# (scripts/device-package.sh), checks its manifests and that it builds the
# same bytes twice, compiles every example for the Arduino Mega 2560 with
# Debian's arduino-builder against the package and the display libraries
# in LZ16_ARDUINO_LIBRARIES (default: the workplace's ../shared/arduino-libraries),
# printing each one's flash and RAM, and says which it cannot build here and
# why; then runs FlashImage and SPIFlash under simavr with a panel (and a
# flash chip) on the bus (tests/arduino_panel.c): the panel must show
# unlz16's pixels.
#
#   scripts/arduino.sh [BUILD_DIR]   (lz16pack and unlz16 from BUILD_DIR, default build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
work=$(mktemp -d /tmp/lz16-arduino.XXXXXX)
trap 'rm -rf "$work"' EXIT
libraries=
for dir in "${LZ16_ARDUINO_LIBRARIES:-}" ../shared/arduino-libraries /work/shared/arduino-libraries; do
  if [ -n "$dir" ] && [ -d "$dir" ]; then libraries=$(realpath "$dir"); break; fi
done
[ -n "$libraries" ] || { echo "arduino: no Arduino libraries: set LZ16_ARDUINO_LIBRARIES" >&2; exit 1; }

scripts/device-package.sh "$work/out" "$build" > /dev/null
scripts/device-package.sh "$work/again" "$build" > /dev/null
pkg=$work/out/lz16
version=$(sed -n 's/^version=//p' "$pkg/library.properties")
cmp "$work/out/lz16-$version.zip" "$work/again/lz16-$version.zip" || { echo "arduino: the package differs between two builds"; exit 1; }
python3 - "$work/out" "$version" <<'PY'
import json, os, re, sys, zipfile
out, version = sys.argv[1], sys.argv[2]
pkg = os.path.join(out, "lz16")
def fail(why):
    sys.exit(f"arduino: package: {why}")
props = dict(l.split("=", 1) for l in open(os.path.join(pkg, "library.properties")).read().splitlines() if "=" in l)
for key in "name version author maintainer sentence paragraph category url architectures includes".split():
    if not props.get(key): fail(f"library.properties has no {key}")
header = open(os.path.join(pkg, "src", "lz16dec.h")).read()
if f'#define LZ16DEC_VERSION "{version}"' not in header: fail("library.properties' version is not the decoder's")
if props["category"] != "Display" or props["architectures"] != "*" or props["includes"] != "lz16dec.h": fail("library.properties")
# PlatformIO's library manifest: the fields it requires and the types it takes
pio = json.load(open(os.path.join(pkg, "library.json")))
if not re.fullmatch(r"[A-Za-z0-9_.-]+", pio.get("name", "")) or pio.get("version") != version: fail("library.json name or version")
if not re.fullmatch(r"\d+\.\d+\.\d+", version): fail("the version is not semantic")
if sorted(pio.get("frameworks", [])) != ["arduino", "espidf"] or pio.get("platforms") != "*": fail("library.json frameworks or platforms")
if not all(isinstance(a, dict) and a.get("name") for a in pio.get("authors", [])) or len(pio.get("description", "")) > 1000: fail("library.json")
if not all(isinstance(k, str) and len(k) <= 50 for k in pio.get("keywords", [])): fail("library.json keywords")
if not os.path.isdir(os.path.join(pkg, pio["build"]["srcDir"])): fail("library.json's srcDir")
if "idf_component_register(" not in open(os.path.join(pkg, "CMakeLists.txt")).read(): fail("CMakeLists.txt registers no component")
if f'version: "{version}"' not in open(os.path.join(pkg, "idf_component.yml")).read(): fail("idf_component.yml's version")
# the zip holds the folder, byte for byte
files = {os.path.relpath(os.path.join(t, f), out) for t, _, fs in os.walk(pkg) for f in fs}
with zipfile.ZipFile(os.path.join(out, f"lz16-{version}.zip")) as z:
    if set(z.namelist()) != files or any(z.read(n) != open(os.path.join(out, n), "rb").read() for n in files):
        fail("the zip does not hold lz16/ as it is")
print(f"package lz16 {version}: Arduino, PlatformIO and ESP-IDF manifests agree; the zip holds lz16/ ({len(files)} files)")
PY

# Where arduino-builder finds headers: the core, its libraries, the
# package, and the display libraries.
core=/usr/share/arduino/hardware/arduino/avr
found() { find "$core/cores" "$core/libraries" "$pkg/src" "$libraries" -name "$1" -print -quit | grep -q .; }
# Debian's arduino-core-avr with Debian's avr-gcc 5.4: its float.h gives
# C++11 no DECIMAL_DIG, which the core's WString.cpp needs.
builder=(arduino-builder -compile -hardware /usr/share/arduino/hardware -hardware /usr/share/arduino-builder
         -tools /usr/bin -fqbn arduino:avr:mega:cpu=atmega2560 -libraries "$work/out" -libraries "$libraries"
         -warnings all -prefs=compiler.cpp.extra_flags=-DDECIMAL_DIG=__DECIMAL_DIG__)
echo "examples for the Arduino Mega 2560 (flash and RAM as arduino-builder reports them):"
for sketch in "$pkg"/examples/*/*.ino; do
  name=$(basename "$sketch" .ino)
  missing=()
  for header in $(sed -n 's/^#include <\([^>]*\)>.*/\1/p' "$sketch"); do
    found "$(basename "$header")" || missing+=("$header")
  done
  if ((${#missing[@]})); then
    printf '  %-18s not built here: %s found in no library here\n' "$name" "${missing[*]}"
    continue
  fi
  mkdir -p "$work/$name"
  if ! "${builder[@]}" -build-path "$work/$name" "$sketch" > "$work/$name.log" 2>&1; then
    cat "$work/$name.log"; echo "arduino: $name does not build"; exit 1
  fi
  # warnings in the package's code or the sketch (the core and the display libraries have their own)
  if grep -E "(lz16[a-z_]*\.[ch]|$name\.ino)[:0-9]*: warning" "$work/$name.log"; then echo "arduino: $name warns"; exit 1; fi
  flash=$(sed -n 's/^Sketch uses \([0-9]*\) bytes.*/\1/p' "$work/$name.log")
  ram=$(sed -n 's/^Global variables use \([0-9]*\) bytes.*/\1/p' "$work/$name.log")
  printf '  %-18s flash %6d bytes, RAM %5d bytes\n' "$name" "$flash" "$ram"
done

echo "  esp_lcd (ESP-IDF)  not built here: no ESP-IDF"

# Two sketches run: the panel must get unlz16's pixels of the image.
cc -std=c99 -O2 -Wall -Wextra -pedantic -Werror tests/arduino_panel.c -o "$work/arduino_panel" $(pkg-config --cflags --libs simavr)
"$build/unlz16" --format rgb16 "$pkg/examples/SPIFlash/data/tiles.lz" > "$work/want.rgb16"
for run in FlashImage SPIFlash; do
  flash=(); [ $run = SPIFlash ] && flash=("$pkg/examples/SPIFlash/data/tiles.lz")
  "$work/arduino_panel" "$work/$run/$run.ino.elf" 128 96 "$work/$run.rgb16" "${flash[@]}" 2> "$work/$run.run" > /dev/null ||
    { cat "$work/$run.run"; echo "arduino: $run never drew the whole image"; exit 1; }
  grep -q "^rows drawn: 96" "$work/$run.run" || { cat "$work/$run.run"; echo "arduino: $run reports no success"; exit 1; }
  cmp -s "$work/want.rgb16" "$work/$run.rgb16" || { echo "arduino: $run drew other pixels than unlz16 decodes"; exit 1; }
  echo "  $run under simavr: the panel shows unlz16's 128x96 pixels"
done
