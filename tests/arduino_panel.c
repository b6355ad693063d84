// Runs an Arduino Mega 2560 sketch under simavr with an ILI9341 panel on its
// SPI bus (CS pin 10, DC pin 9) and, with a file, a serial flash chip
// holding it (CS pin 8, answering the read command 0x03). Writes the panel's
// top-left WIDTH x HEIGHT pixels once that many have been sent, as 16-bit
// words low byte first (unlz16 --format rgb16); the sketch's serial output
// goes to standard error. Exits 1 if the pixels never all arrive.
//
//   arduino_panel SKETCH.elf WIDTH HEIGHT OUT.rgb16 [FLASH.bin]
#include <simavr/avr_ioport.h>
#include <simavr/avr_spi.h>
#include <simavr/avr_uart.h>
#include <simavr/sim_avr.h>
#include <simavr/sim_elf.h>
#include <stdio.h>
#include <stdlib.h>

enum { PANEL_W = 240, PANEL_H = 320 };  // the ILI9341's rotation 0
static uint16_t panel[PANEL_H][PANEL_W];
static unsigned panel_cs = 1, dc = 1, flash_cs = 1;
static unsigned command, params, column[2], page[2], x, y, high, reading;
static unsigned long pixels;
static unsigned char flash[1 << 20];
static unsigned long flash_size, flash_at, flash_index;
static avr_irq_t *spi_in;

static void pin(struct avr_irq_t *irq, uint32_t value, void *which)
{
    (void)irq;
    *(unsigned *)which = value != 0;
    if (which == &flash_cs && !value) flash_index = 0;
}

// A byte from the CPU; the flash answers in the same exchange.
static void spi(struct avr_irq_t *irq, uint32_t b, void *param)
{
    (void)irq, (void)param;
    if (!flash_cs) {  // 0x03, a 24-bit address, then the bytes from there
        const unsigned long k = flash_index++, at = flash_at + k - 4;
        if (k == 0) reading = b == 0x03, flash_at = 0;
        if (k >= 1 && k <= 3) flash_at = flash_at << 8 | b;
        avr_raise_irq(spi_in, reading && k >= 4 && at < flash_size ? flash[at] : 0xFF);
    } else if (!panel_cs && !dc) {
        command = b, params = 0, x = column[0], y = page[0];
    } else if (!panel_cs && (command == 0x2A || command == 0x2B) && params < 4) {  // start and end, 16 bits each
        unsigned *range = command == 0x2A ? column : page;
        range[params / 2] = params % 2 ? range[params / 2] << 8 | b : b;
        params++;
    } else if (!panel_cs && command == 0x2C && params++ % 2 == 0) {  // a pixel: its high byte, then its low
        high = b;
    } else if (!panel_cs && command == 0x2C) {
        if (x < PANEL_W && y < PANEL_H) panel[y][x] = (uint16_t)(high << 8 | b);
        pixels++;
        if (++x > column[1]) x = column[0], y++;
    }
}

static void uart(struct avr_irq_t *irq, uint32_t c, void *param)
{
    (void)irq, (void)param;
    fputc((int)c, stderr);
}

int main(int argc, char **argv)
{
    if (argc != 5 && argc != 6) return 2;
    const unsigned w = (unsigned)atoi(argv[2]), h = (unsigned)atoi(argv[3]);
    if (argc == 6) {
        FILE *f = fopen(argv[5], "rb");
        flash_size = f ? fread(flash, 1, sizeof flash, f) : 0;
        if (f) fclose(f);
    }
    elf_firmware_t fw = {0};
    avr_t *avr = avr_make_mcu_by_name("atmega2560");
    if (w > PANEL_W || h > PANEL_H || elf_read_firmware(argv[1], &fw) != 0 || !avr) return 2;
    avr_init(avr);
    avr->frequency = 16000000;
    avr_load_firmware(avr, &fw);
    uint32_t flags = 0;
    avr_ioctl(avr, AVR_IOCTL_UART_GET_FLAGS('0'), &flags);
    flags &= ~AVR_UART_FLAG_STDIO;
    avr_ioctl(avr, AVR_IOCTL_UART_SET_FLAGS('0'), &flags);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_UART_GETIRQ('0'), UART_IRQ_OUTPUT), uart, NULL);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('B'), 4), pin, &panel_cs);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('H'), 6), pin, &dc);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_IOPORT_GETIRQ('H'), 5), pin, &flash_cs);
    avr_irq_register_notify(avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_OUTPUT), spi, NULL);
    spi_in = avr_io_getirq(avr, AVR_IOCTL_SPI_GETIRQ(0), SPI_IRQ_INPUT);
    // Up to 60 s of the board's time; then a little more for the serial line.
    avr_cycle_count_t end = 60ull * 16000000;
    while (avr->cycle < end) {
        int state = avr_run(avr);
        if (state == cpu_Done || state == cpu_Crashed) break;
        if (pixels >= (unsigned long)w * h && end > avr->cycle + 8000000) end = avr->cycle + 8000000;
    }
    FILE *out = fopen(argv[4], "wb");
    for (unsigned r = 0; out && r < h; ++r)
        for (unsigned c = 0; c < w; ++c) fputc(panel[r][c] & 0xFF, out), fputc(panel[r][c] >> 8, out);
    if (!out || fclose(out) != 0) return 2;
    fprintf(stderr, "arduino_panel: %lu pixels sent to the panel\n", pixels);
    return pixels >= (unsigned long)w * h ? 0 : 1;
}
