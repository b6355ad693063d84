#!/usr/bin/env bash
# Builds the web page: OUT/lz16.html, lz16pack compiled to WebAssembly with
# Debian's emscripten, in one file that works offline from file://.
#
#   scripts/build-web.sh OUT
#
# The image libraries are built for WebAssembly from Debian's own source
# packages of the versions the native build links (libpng 1.6.39,
# libjpeg-turbo 2.1.5, libwebp 1.2.4, giflib 5.2.1, zlib 1.2.13), with
# Debian's patches, so that both read the same pixels from every file (and
# zlib's minizip zips the outputs); the
# header-only libraries (stb, qoi, CLI11, toml++, nlohmann-json) are the
# system's. Work files go to build-web/ (or $LZ16_WEB_WORK): the sources and
# libraries are built once and kept.
set -euo pipefail
out=${1:?usage: scripts/build-web.sh OUT}
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$out"
out=$(cd "$out" && pwd)
"$root/scripts/setup.sh" --web
work=${LZ16_WEB_WORK:-$root/build-web}
mkdir -p "$work"
work=$(cd "$work" && pwd)
sysroot=$work/sysroot
# Debian's emcc finds its JavaScript modules (acorn) there.
export NODE_PATH=/usr/share/nodejs
jobs=$(nproc)
flags=(-O2)

# The system's header-only libraries, and nothing else of /usr/include.
mkdir -p "$sysroot/include" "$sysroot/lib"
for header in stb qoi.h CLI toml++ nlohmann; do ln -sfn "/usr/include/$header" "$sysroot/include/$header"; done

# Debian's source of a package, unpacked with its patches; echoes the tree.
source_tree() {
  local package=$1 tree
  mkdir -p "$work/src"
  tree=$(find "$work/src" -maxdepth 1 -type d -name "$2-*" | head -1)
  if [ -z "$tree" ]; then
    (cd "$work/src" && apt-get source -qq --download-only "$package" >/dev/null 2>&1 &&
      dpkg-source -q -x --no-check "$(ls "${package}"_*.dsc | sort -V | tail -1)" >/dev/null 2>&1) ||
      { echo "build-web: cannot get Debian's source of $package (scripts/setup.sh --web adds deb-src)" >&2; exit 1; }
    tree=$(find "$work/src" -maxdepth 1 -type d -name "$2-*" | head -1)
  fi
  echo "$tree"
}

# C sources compiled straight into a static library (those whose own builds want a configure step).
archive() {
  local name=$1 dir=$2; shift 2
  local objects=()
  mkdir -p "$work/obj/$name"
  for file in "$@"; do
    emcc "${flags[@]}" -I"$dir" -I"$sysroot/include" -c "$dir/$file" -o "$work/obj/$name/${file//\//_}.o"
    objects+=("$work/obj/$name/${file//\//_}.o")
  done
  rm -f "$sysroot/lib/lib$name.a"
  emar rcs "$sysroot/lib/lib$name.a" "${objects[@]}"
}

if [ ! -f "$sysroot/lib/libz.a" ]; then
  echo "build-web: zlib (without its gz file functions, which nothing here calls)" >&2
  dir=$(source_tree zlib zlib)
  archive z "$dir" adler32.c compress.c crc32.c deflate.c infback.c inffast.c \
    inflate.c inftrees.c trees.c uncompr.c zutil.c
  cp "$dir/zlib.h" "$dir/zconf.h" "$sysroot/include/"
fi
if [ ! -f "$sysroot/lib/libminizip.a" ]; then
  echo "build-web: minizip (zlib's, for the page's zip of every output)" >&2
  dir=$(source_tree zlib zlib)/contrib/minizip
  flags+=(-DUSE_FILE32API -DNOCRYPT)
  archive minizip "$dir" zip.c ioapi.c
  flags=(-O2)
  cp "$dir/zip.h" "$dir/ioapi.h" "$sysroot/include/"
fi
if [ ! -f "$sysroot/lib/libpng.a" ]; then
  echo "build-web: libpng" >&2
  dir=$(source_tree libpng1.6 libpng1.6)
  cp "$dir/scripts/pnglibconf.h.prebuilt" "$dir/pnglibconf.h"
  archive png "$dir" png.c pngerror.c pngget.c pngmem.c pngpread.c pngread.c pngrio.c pngrtran.c pngrutil.c pngset.c \
    pngtrans.c pngwio.c pngwrite.c pngwtran.c pngwutil.c
  cp "$dir/png.h" "$dir/pngconf.h" "$dir/pnglibconf.h" "$sysroot/include/"
fi
if [ ! -f "$sysroot/lib/libgif.a" ]; then
  echo "build-web: giflib" >&2
  dir=$(source_tree giflib giflib)
  archive gif "$dir" dgif_lib.c egif_lib.c gifalloc.c gif_err.c gif_font.c gif_hash.c openbsd-reallocarray.c quantize.c
  cp "$dir/gif_lib.h" "$sysroot/include/"
fi
if [ ! -f "$sysroot/lib/libjpeg.a" ]; then
  echo "build-web: libjpeg-turbo" >&2
  dir=$(source_tree libjpeg-turbo libjpeg-turbo)
  emcmake cmake -S "$dir" -B "$work/obj/jpeg" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="${flags[*]}" \
    -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF \
    `# type sizes, which CMake cannot read from emscripten's output` \
    -DHAVE_SIZE_T=TRUE -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=TRUE -DUNSIGNED_LONG=4 >/dev/null
  cmake --build "$work/obj/jpeg" -j"$jobs" --target jpeg-static >/dev/null
  cp "$work/obj/jpeg/libjpeg.a" "$sysroot/lib/"
  cp "$dir/jpeglib.h" "$dir/jmorecfg.h" "$dir/jerror.h" "$work/obj/jpeg/jconfig.h" "$sysroot/include/"
fi
if [ ! -f "$sysroot/lib/libwebpdemux.a" ]; then
  echo "build-web: libwebp" >&2
  dir=$(source_tree libwebp libwebp)
  options=()
  for tool in ANIM_UTILS CWEBP DWEBP GIF2WEBP IMG2WEBP VWEBP WEBPINFO LIBWEBPMUX WEBPMUX EXTRAS; do
    options+=(-DWEBP_BUILD_$tool=OFF)
  done
  emcmake cmake -S "$dir" -B "$work/obj/webp" -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_FLAGS_RELEASE="${flags[*]}" \
    -DWEBP_USE_THREAD=OFF "${options[@]}" >/dev/null
  cmake --build "$work/obj/webp" -j"$jobs" --target webpdemux >/dev/null
  cp "$work/obj/webp/libwebp.a" "$work/obj/webp/libwebpdemux.a" "$sysroot/lib/"
  mkdir -p "$sysroot/include/webp"
  cp "$dir"/src/webp/{decode,demux,mux_types,types}.h "$sysroot/include/webp/"
fi

echo "build-web: lz16pack" >&2
# A build folder for each source tree, so that trees may share the libraries.
build=$work/lz16-$(printf '%s' "$root" | md5sum | cut -c1-8)
emcmake cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DLZ16_TESTS=OFF -DLZ16_WEB_SYSROOT="$sysroot" \
  >/dev/null
cmake --build "$build" -j"$jobs" --target lz16pack-web >/dev/null
python3 "$root/web/assemble.py" "$build/lz16pack-web.js" "$root/web" "$out/lz16.html"
size=$(stat -c %s "$out/lz16.html")
echo "build-web: $out/lz16.html ($size bytes)" >&2
# What a page may weigh: a file users mail and keep beside their art.
((size <= 8 * 1024 * 1024)) || { echo "build-web: the page is over 8 MB" >&2; exit 1; }
