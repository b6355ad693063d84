# LVGL, for the LVGL integration's tests and benchmark: the user's LVGL 9
# source tree (LZ16_LVGL_DIR), built with cmake/lvgl/lv_conf.h. LVGL's code is
# LVGL's own, so it is built without our warnings, but with the sanitizers of
# the build.
file(GLOB_RECURSE lz16_lvgl_sources CONFIGURE_DEPENDS ${LZ16_LVGL_DIR}/src/*.c)
# Display drivers, GPU renderers and image libraries that lv_conf.h leaves off
# compile to nothing: left out, they save a third of the build.
list(FILTER lz16_lvgl_sources EXCLUDE REGEX
     "/src/(drivers|libs|draw/(dma2d|espressif|eve|nanovg|nema_gfx|nxp|opengles|renesas|sdl|vg_lite))/")
foreach(lib bin_decoder fsdrv lz4 rle)
  file(GLOB_RECURSE lib_sources CONFIGURE_DEPENDS ${LZ16_LVGL_DIR}/src/libs/${lib}/*.c)
  list(APPEND lz16_lvgl_sources ${lib_sources})
endforeach()
add_library(lvgl_for_lz16 STATIC ${lz16_lvgl_sources})
target_include_directories(lvgl_for_lz16 SYSTEM PUBLIC ${LZ16_LVGL_DIR} ${PROJECT_SOURCE_DIR}/cmake/lvgl)
target_compile_definitions(lvgl_for_lz16 PUBLIC LV_CONF_INCLUDE_SIMPLE)
target_compile_options(lvgl_for_lz16 PRIVATE -w)
set_target_properties(lvgl_for_lz16 PROPERTIES C_STANDARD 99 C_EXTENSIONS ON INTERPROCEDURAL_OPTIMIZATION OFF)

# The integration, as a user builds it: C99 over lz16dec and LVGL.
add_library(lz16_lvgl STATIC integrations/lvgl/lz16_lvgl.c)
target_include_directories(lz16_lvgl PUBLIC integrations/lvgl)
target_link_libraries(lz16_lvgl PUBLIC lz16dec lvgl_for_lz16)
set_target_properties(lz16_lvgl PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
# The tests' screens are small: their images' streams are kept from the first pixel.
target_compile_definitions(lz16_lvgl PRIVATE LZ16_LVGL_KEEP_FROM=1)
