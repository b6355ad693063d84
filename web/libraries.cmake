# The image libraries and header-only libraries lz16pack's library links,
# for the web page's build: the same targets the native build finds, made
# from what scripts/build-web.sh built for WebAssembly under
# LZ16_WEB_SYSROOT.
set(LZ16_WEB_SYSROOT "" CACHE PATH "The image libraries built for WebAssembly (scripts/build-web.sh)")
if(NOT EXISTS "${LZ16_WEB_SYSROOT}/lib/libpng.a")
  message(FATAL_ERROR "LZ16_WEB_SYSROOT holds no libraries for WebAssembly: build the page with scripts/build-web.sh")
endif()
function(lz16_web_library target file)
  add_library(${target} STATIC IMPORTED)
  set_target_properties(${target} PROPERTIES IMPORTED_LOCATION "${LZ16_WEB_SYSROOT}/lib/${file}"
                        INTERFACE_INCLUDE_DIRECTORIES "${LZ16_WEB_SYSROOT}/include" INTERFACE_LINK_LIBRARIES "${ARGN}")
endfunction()
lz16_web_library(lz16_web_zlib libz.a)
lz16_web_library(PNG::PNG libpng.a lz16_web_zlib)
lz16_web_library(JPEG::JPEG libjpeg.a)
lz16_web_library(GIF::GIF libgif.a)
lz16_web_library(lz16_web_webp libwebp.a)
lz16_web_library(PkgConfig::WEBP libwebpdemux.a lz16_web_webp)
lz16_web_library(lz16_web_minizip libminizip.a lz16_web_zlib)
# Header-only: stb's resizer is compiled here, as Debian's libstb compiles it.
foreach(target PkgConfig::STB nlohmann_json::nlohmann_json CLI11::CLI11)
  add_library(${target} INTERFACE IMPORTED)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${LZ16_WEB_SYSROOT}/include")
endforeach()
set_target_properties(PkgConfig::STB PROPERTIES INTERFACE_SOURCES "${CMAKE_CURRENT_LIST_DIR}/stb_resize.c")
set(TOMLPP_INCLUDE_DIR "${LZ16_WEB_SYSROOT}/include")
