// An lz16 image in an external SPI flash chip (W25Qxx and the like), read a
// chunk at a time while it is drawn on an ILI9341 panel sharing the bus:
// the image costs no program flash and no RAM beyond the stream.
//
// Put data/tiles.lz (lz16pack -f lz tiles.png) at IMAGE_ADDRESS with your
// flash programmer; IMAGE_SIZE is its size in bytes. Wiring: both on the
// board's SPI pins, the CS and DC pins below.
#include <Adafruit_ILI9341.h>
#include <SPI.h>
#include <lz16dec.h>

const uint8_t FLASH_CS = 8;
const uint32_t IMAGE_ADDRESS = 0, IMAGE_SIZE = 4552;
const uint16_t IMAGE_WIDTH = 128;

Adafruit_ILI9341 tft(10, 9);  // CS, DC

static struct lz16_stream stream;
static uint16_t bands[2 * 4 * IMAGE_WIDTH];

// lz16dec asks for n bytes at offset of the image: the chip's read command.
static int32_t read_flash(void *, uint32_t offset, uint8_t *buf, uint32_t n)
{
    const uint32_t at = IMAGE_ADDRESS + offset;
    SPI.beginTransaction(SPISettings(8000000, MSBFIRST, SPI_MODE0));
    digitalWrite(FLASH_CS, LOW);
    SPI.transfer(0x03);
    SPI.transfer((uint8_t)(at >> 16));
    SPI.transfer((uint8_t)(at >> 8));
    SPI.transfer((uint8_t)at);
    for (uint32_t k = 0; k < n; ++k) buf[k] = SPI.transfer(0);
    digitalWrite(FLASH_CS, HIGH);
    SPI.endTransaction();
    return (int32_t)n;
}

// The bus is shared: each band is a transaction of its own.
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
    pinMode(FLASH_CS, OUTPUT);
    digitalWrite(FLASH_CS, HIGH);
    tft.begin();
    int32_t rows = lz16_stream_open(&stream, read_flash, NULL, IMAGE_SIZE);
    if (rows == 0) rows = lz16_draw(&stream, IMAGE_WIDTH, bands, sizeof bands / 2, push, NULL);
    Serial.print(F("rows drawn: "));
    Serial.println(rows);  // the image's height, or a negative LZ16_E_ code
}

void loop() {}
