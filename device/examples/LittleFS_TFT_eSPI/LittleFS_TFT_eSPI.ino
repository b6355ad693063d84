// An lz16 image on LittleFS (ESP32, ESP8266, RP2040), drawn through
// TFT_eSPI with DMA where it has it (ESP32, RP2040, STM32): a band goes
// out while the next one decodes. Upload data/ with your board's LittleFS
// upload tool; TFT_eSPI's User_Setup.h names the panel and its pins.
#include <FS.h>
#include <LittleFS.h>
#include <TFT_eSPI.h>
#include <lz16dec.h>

const uint16_t IMAGE_WIDTH = 128;

TFT_eSPI tft;

static struct lz16_stream stream;
static uint16_t bands[2 * 16 * IMAGE_WIDTH];  // two bands of 16 rows

static int32_t read_file(void *ctx, uint32_t offset, uint8_t *buf, uint32_t n)
{
    File *file = (File *)ctx;
    return file->seek(offset) ? (int32_t)file->read(buf, n) : -1;
}

// pushImageDMA waits for the band before, swaps this one's bytes in place
// (setSwapBytes) and returns while it goes out.
static void push(void *, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    if (tft.DMA_Enabled)
        tft.pushImageDMA(x, y, w, h, (uint16_t *)pixels);
    else
        tft.pushImage(x, y, w, h, pixels);
}

void setup()
{
    Serial.begin(115200);
    tft.init();
    tft.initDMA();
    tft.setSwapBytes(true);  // lz16dec gives the CPU's words; the panel takes the high byte first
    File file;
    if (!LittleFS.begin() || !(file = LittleFS.open("/tiles.lz", "r"))) {
        Serial.println("no /tiles.lz on LittleFS");
        return;
    }
    int32_t rows = lz16_stream_open(&stream, read_file, &file, file.size());
    if (rows == 0) {
        tft.startWrite();
        rows = lz16_draw(&stream, IMAGE_WIDTH, bands, sizeof bands / 2, push, NULL);
        tft.dmaWait();
        tft.endWrite();
    }
    file.close();
    Serial.printf("rows drawn: %ld\n", (long)rows);
}

void loop() {}
