// An lz16 image in program flash drawn through Arduino_GFX (GFX Library for
// Arduino), a band of rows at a time. Name your panel's bus and driver as
// Arduino_GFX's examples show; an ILI9341 on the board's SPI pins here.
#include <Arduino_GFX_Library.h>
#include <lz16dec.h>

#include "tiles.h"

Arduino_DataBus *bus = new Arduino_HWSPI(9 /* DC */, 10 /* CS */);
Arduino_GFX *gfx = new Arduino_ILI9341(bus);

static struct lz16_stream stream;
static uint16_t bands[2 * 4 * TILES_WIDTH];

static void push(void *, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    gfx->draw16bitRGBBitmap(x, y, (uint16_t *)pixels, w, h);
}

void setup()
{
    Serial.begin(115200);
    gfx->begin();
    lz16_stream_init(&stream, tiles_lz16, sizeof tiles_lz16);
    int32_t rows = lz16_draw(&stream, TILES_WIDTH, bands, sizeof bands / 2, push, NULL);
    Serial.print(F("rows drawn: "));
    Serial.println(rows);
}

void loop() {}
