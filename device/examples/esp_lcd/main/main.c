/*
 * An lz16 image drawn on an ST7789 panel with ESP-IDF's esp_lcd, in bands:
 * esp_lcd sends a band by DMA while the next one decodes. The image is the
 * .lz file itself, embedded (main/CMakeLists.txt); the component is built
 * with LZ16DEC_SWAP_BYTES (sdkconfig.defaults), the byte order SPI panels
 * take. The pins are an example's: change them for your board.
 */
#include "driver/spi_master.h"
#include "esp_lcd_panel_io.h"
#include "esp_lcd_panel_ops.h"
#include "esp_lcd_panel_vendor.h"
#include "freertos/FreeRTOS.h"
#include "freertos/semphr.h"
#include "lz16dec.h"
#include <stdio.h>

#define IMAGE_WIDTH 128
extern const uint8_t tiles_start[] asm("_binary_tiles_lz_start");
extern const uint8_t tiles_end[] asm("_binary_tiles_lz_end");

static struct lz16_stream stream;
static DMA_ATTR uint16_t bands[2 * 16 * IMAGE_WIDTH];
static SemaphoreHandle_t sent; /* given each time a band has gone out */
static int queued;             /* bands queued and not yet taken back */

static bool on_sent(esp_lcd_panel_io_handle_t io, esp_lcd_panel_io_event_data_t *event, void *ctx)
{
    BaseType_t woken = pdFALSE;
    xSemaphoreGiveFromISR(sent, &woken);
    return woken == pdTRUE;
}

/* Queues the band, then waits for the one before it: lz16_draw rewrites
 * that one's half as soon as this returns. */
static void push(void *panel, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    esp_lcd_panel_draw_bitmap(panel, x, y, x + w, y + h, pixels);
    if (++queued == 2) {
        xSemaphoreTake(sent, portMAX_DELAY);
        --queued;
    }
}

void app_main(void)
{
    const spi_bus_config_t bus = {.sclk_io_num = 18, .mosi_io_num = 23, .miso_io_num = -1, .quadwp_io_num = -1,
                                  .quadhd_io_num = -1, .max_transfer_sz = sizeof bands / 2};
    const esp_lcd_panel_io_spi_config_t io_config = {.dc_gpio_num = 2, .cs_gpio_num = 15, .pclk_hz = 40000000,
                                                     .lcd_cmd_bits = 8, .lcd_param_bits = 8, .spi_mode = 0,
                                                     .trans_queue_depth = 2, .on_color_trans_done = on_sent};
    const esp_lcd_panel_dev_config_t panel_config = {.reset_gpio_num = 4, .bits_per_pixel = 16};
    esp_lcd_panel_io_handle_t io;
    esp_lcd_panel_handle_t panel;
    sent = xSemaphoreCreateCounting(2, 0);
    ESP_ERROR_CHECK(spi_bus_initialize(SPI2_HOST, &bus, SPI_DMA_CH_AUTO));
    ESP_ERROR_CHECK(esp_lcd_new_panel_io_spi((esp_lcd_spi_bus_handle_t)SPI2_HOST, &io_config, &io));
    ESP_ERROR_CHECK(esp_lcd_new_panel_st7789(io, &panel_config, &panel));
    ESP_ERROR_CHECK(esp_lcd_panel_reset(panel));
    ESP_ERROR_CHECK(esp_lcd_panel_init(panel));
    ESP_ERROR_CHECK(esp_lcd_panel_disp_on_off(panel, true));

    int32_t rows = lz16_stream_init(&stream, tiles_start, (size_t)(tiles_end - tiles_start));
    if (rows == 0)
        rows = lz16_draw(&stream, IMAGE_WIDTH, bands, sizeof bands / 2, push, panel);
    while (queued-- > 0) /* the last band: gone out before bands is used again */
        xSemaphoreTake(sent, portMAX_DELAY);
    printf("rows drawn: %ld\n", (long)rows);
}
