// An lz16 image kept in program flash, drawn on an ILI9341 panel through
// Adafruit_GFX a band of rows at a time: no frame buffer, only the
// decoder's stream (4.7 KB) and two bands.
//
// tiles.h: lz16pack -f h tiles.png (on AVR its bytes go to flash by
// themselves, and lz16dec reads them there). Wiring: the panel on the
// board's SPI pins, CS and DC below.
#include <Adafruit_ILI9341.h>
#include <lz16dec.h>

#include "tiles.h"

Adafruit_ILI9341 tft(10, 9);  // CS, DC

static struct lz16_stream stream;
static uint16_t bands[2 * 4 * TILES_WIDTH];  // two bands of 4 rows: one is sent while the next decodes

// Sends a band. On boards where Adafruit_GFX has DMA it returns while the
// band goes out, once the band before has: lz16_draw rewrites a band only
// after the next one is pushed.
static void push(void *, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    tft.dmaWait();
    tft.setAddrWindow(x, y, w, h);
    tft.writePixels((uint16_t *)pixels, (uint32_t)w * h, false);
}

void setup()
{
    Serial.begin(115200);
    tft.begin();
    lz16_stream_init(&stream, tiles_lz16, sizeof tiles_lz16);
    tft.startWrite();
    int32_t rows = lz16_draw(&stream, TILES_WIDTH, bands, sizeof bands / 2, push, NULL);
    tft.dmaWait();
    tft.endWrite();
    Serial.print(F("rows drawn: "));
    Serial.println(rows);  // TILES_HEIGHT, or a negative LZ16_E_ code
}

void loop() {}
