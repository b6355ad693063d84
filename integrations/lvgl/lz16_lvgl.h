/*
 * lz16_lvgl: lz16 images in LVGL 9, drawn a band of rows at a time.
 *
 * C99, built on device/lz16dec (compiled with its defaults: RGB565 words,
 * not swapped) and LVGL. Call lz16_lvgl_init() once after lv_init(); then
 *
 *     #include "gem.h"                 (lz16pack -f lvgl gem.png)
 *     lv_image_set_src(img, &gem);
 *
 * An image is reported to LVGL as RGB565 (RGB565_SWAPPED on a display of
 * that format), or RGB565A8 if it has an alpha plane, its 5-bit levels
 * widened as L * 8 + L / 4; a mask (lz16pack --mask) as A8, which LVGL
 * draws in the image's recolour (lv_obj_set_style_image_recolor). LVGL asks for the rows it draws and gets them a
 * band at a time from lz16dec's stream: no buffer for the whole image, only
 * the stream (4.7 KB, 8.2 KB with alpha, 9.4 KB with alpha from files) and a
 * band of at most LZ16_LVGL_BAND_BYTES while it draws. When a screen is
 * drawn in several passes (partial buffers), the stream of an image that
 * goes on below a pass is kept for the next pass to go on from, instead of
 * decoding the image again from its top: kept streams and the one being
 * opened share LZ16_LVGL_KEEP_BYTES, the oldest dropped first.
 * Change an image's bytes in place only with lv_image_cache_drop(src) after,
 * as for any LVGL image: that drops its kept stream too. A kept stream is
 * never used for planes that moved or changed size.
 *
 * Damaged or truncated data is never read or written past: the image then
 * fails to open, or stops drawing at the first bad band.
 */
#ifndef LZ16_LVGL_H
#define LZ16_LVGL_H

#include <stdint.h>

#include "lvgl.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The lz16 planes an lv_image_dsc_t of lz16pack's points at (its data).
   Its header's cf is LV_COLOR_FORMAT_RAW, or RAW_ALPHA with alpha. A mask
   is an alpha plane with no colour plane (colour NULL, colour_size 0). */
typedef struct {
    uint32_t magic;                     /* LZ16_LVGL_MAGIC */
    uint32_t colour_size, alpha_size;   /* alpha_size 0: opaque; colour_size 0: a mask */
    const uint8_t *colour, *alpha;
} lz16_lvgl_planes_t;

#define LZ16_LVGL_MAGIC 0x6c7a3136u

/* In an image descriptor's header.flags: decode the image whole into
   LVGL's image cache (LV_CACHE_DEF_SIZE) instead of a band at a time, for
   speed where RAM allows. lz16pack's descriptors are const: copy one,
       static lv_image_dsc_t logo_whole;  logo_whole = logo;
       logo_whole.header.flags |= LZ16_LVGL_WHOLE;
   and draw the copy. */
#define LZ16_LVGL_WHOLE LV_IMAGE_FLAGS_USER1

/* An .lz file holds pixels but not its width: LVGL opens "S:dir/gem.lz"
   (and its alpha plane "S:dir/gem.alpha.lz", if there is one; a mask is
   its .lz file alone) only if its
   path is listed with its size. The file is read a chunk at a time through
   lv_fs while the image is drawn, never loaded whole. The table must stay
   in place. A failure is logged (LV_LOG_WARN) with the path. */
typedef struct {
    const char *path;
    uint16_t width, height;
} lz16_lvgl_file_t;

void lz16_lvgl_set_files(const lz16_lvgl_file_t *files, uint32_t count);

/* Registers the decoder (after lv_init()). */
void lz16_lvgl_init(void);

/* Removes it and frees the streams it kept (the draw unit that hears
   lv_image_cache_drop() stays, idle, until lv_deinit()). */
void lz16_lvgl_deinit(void);

#ifdef __cplusplus
}
#endif

#endif
