// An lz16 image on an SD card, read a chunk at a time while it is drawn on
// an ILI9341 panel through Adafruit_GFX: any number of images, none of them
// in program flash. Copy data/tiles.lz (lz16pack -f lz tiles.png) to the
// card's top folder. SdFat works the same way: its File has seek and read.
#include <Adafruit_ILI9341.h>
#include <SD.h>
#include <lz16dec.h>

const uint8_t SD_CS = 4;
const uint16_t IMAGE_WIDTH = 128;

Adafruit_ILI9341 tft(10, 9);  // CS, DC

static struct lz16_stream stream;
static uint16_t bands[2 * 4 * IMAGE_WIDTH];

static int32_t read_file(void *ctx, uint32_t offset, uint8_t *buf, uint32_t n)
{
    File *file = (File *)ctx;
    return file->seek(offset) ? (int32_t)file->read(buf, n) : -1;
}

// The card shares the bus: each band is a transaction of its own.
static void push(void *, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    tft.startWrite();
    tft.setAddrWindow(x, y, w, h);
    tft.writePixels((uint16_t *)pixels, (uint32_t)w * h);
    tft.endWrite();
}

void setup()
{
    Serial.begin(115200);
    tft.begin();
    File file;
    if (!SD.begin(SD_CS) || !(file = SD.open("/tiles.lz"))) {
        Serial.println(F("no card, or no /tiles.lz on it"));
        return;
    }
    int32_t rows = lz16_stream_open(&stream, read_file, &file, file.size());
    if (rows == 0) rows = lz16_draw(&stream, IMAGE_WIDTH, bands, sizeof bands / 2, push, NULL);
    file.close();
    Serial.print(F("rows drawn: "));
    Serial.println(rows);  // the image's height, or a negative LZ16_E_ code
}

void loop() {}
