/* LVGL's configuration for lz16's LVGL tests and benchmark: the software
   renderer, 16-bit colour, no OS, its LZ4 images to compare with, and files
   through stdio. */
#ifndef LV_CONF_H
#define LV_CONF_H

#define LV_COLOR_DEPTH 16
#define LV_USE_OS LV_OS_NONE
/* Under AddressSanitizer the C library's malloc, so that the sanitizer sees
   the bounds of every buffer; else LVGL's own heap, which its monitor
   measures. */
#if defined(__SANITIZE_ADDRESS__)
#define LV_USE_STDLIB_MALLOC LV_STDLIB_CLIB
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define LV_USE_STDLIB_MALLOC LV_STDLIB_CLIB
#endif
#endif
#ifndef LV_USE_STDLIB_MALLOC
#define LV_USE_STDLIB_MALLOC LV_STDLIB_BUILTIN
#endif
#define LV_USE_STDLIB_STRING LV_STDLIB_BUILTIN
#define LV_USE_STDLIB_SPRINTF LV_STDLIB_BUILTIN
#define LV_MEM_SIZE (1536 * 1024U)
#define LV_USE_DRAW_SW 1
#define LV_DRAW_SW_SUPPORT_RGB565_SWAPPED 1
#define LV_DRAW_SW_SUPPORT_RGB565A8 1
#define LV_CACHE_DEF_SIZE (512 * 1024)
#define LV_IMAGE_HEADER_CACHE_DEF_CNT 0
#define LV_USE_LZ4_INTERNAL 1
#define LV_BIN_DECODER_RAM_LOAD 1
#define LV_USE_FS_STDIO 1
#define LV_FS_STDIO_LETTER 'A'
#define LV_FS_STDIO_PATH ""
#define LV_USE_THEME_DEFAULT 0
#define LV_USE_LOG 0
#define LV_USE_ASSERT_NULL 1
#define LV_USE_ASSERT_MALLOC 1
#define LV_ASSERT_HANDLER_INCLUDE <stdlib.h>
#define LV_ASSERT_HANDLER abort();
#define LV_FONT_MONTSERRAT_14 1
#define LV_FONT_DEFAULT &lv_font_montserrat_14

#endif
