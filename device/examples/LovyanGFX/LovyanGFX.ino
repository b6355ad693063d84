// An lz16 image in program flash drawn through LovyanGFX, with DMA: a band
// goes out while the next one decodes. LGFX_AUTODETECT finds the panel of
// the boards LovyanGFX knows; for your own wiring, configure an LGFX class
// as its examples show.
#define LGFX_AUTODETECT
#include <LovyanGFX.hpp>
#include <lz16dec.h>

#include "tiles.h"

static LGFX lcd;

static struct lz16_stream stream;
static uint16_t bands[2 * 16 * TILES_WIDTH];

// lgfx::rgb565_t: the CPU's RGB565 words, as lz16dec gives them. pushImageDMA
// waits for the band before and returns while this one goes out.
static void push(void *, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    lcd.pushImageDMA(x, y, w, h, (const lgfx::rgb565_t *)pixels);
}

void setup()
{
    Serial.begin(115200);
    lcd.init();
    lz16_stream_init(&stream, tiles_lz16, sizeof tiles_lz16);
    lcd.startWrite();
    int32_t rows = lz16_draw(&stream, TILES_WIDTH, bands, sizeof bands / 2, push, NULL);
    lcd.waitDMA();
    lcd.endWrite();
    Serial.printf("rows drawn: %ld\n", (long)rows);
}

void loop() {}
