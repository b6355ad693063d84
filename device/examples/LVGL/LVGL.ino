// lz16 images shown by LVGL 9: lz16_lvgl is an image decoder that draws
// them a band of rows at a time. The panel here is TFT_eSPI's, through
// LVGL's own driver (LV_USE_TFT_ESPI 1 in lv_conf.h; TFT_eSPI's
// User_Setup.h names the panel and its pins). tiles.c and tiles.h:
// lz16pack -f lvgl tiles.png. Needs a 32-bit board (LVGL does).
#include <TFT_eSPI.h>
#include <lvgl.h>
#include <lz16_lvgl.h>

#include "tiles.h"

static uint8_t draw_buf[240 * 24 * 2];  // LVGL draws the screen 24 rows at a time

static uint32_t ticks(void) { return millis(); }

void setup()
{
    lv_init();
    lv_tick_set_cb(ticks);
    lv_tft_espi_create(240, 320, draw_buf, sizeof draw_buf);
    lz16_lvgl_init();
    lv_obj_t *image = lv_image_create(lv_screen_active());
    lv_image_set_src(image, &tiles);
    lv_obj_center(image);
}

void loop()
{
    lv_timer_handler();
    delay(5);
}
