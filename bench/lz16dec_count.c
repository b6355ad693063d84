/* For counting the device decoder's instructions a pixel under an
 * emulator: runs one entry point REPS times on the first image of
 * device_images.h (lz16pack --index), unchecked (those drawing with alpha:
 * on every image, which lz16pack's index lists). The script counts a run of
 * 1 and one of 0; the difference is one run, without start-up. REPS is read
 * at run time, so that both programs hold the same code and data (a bare
 * board's start-up clears all of it).
 *
 *   -DLZ16_ENTRY=E (1 unpack, 2 decode, 3 stream in reads of 256 pixels,
 *   4 one skip of all of it, 7 the stream of 3 on a callback that copies the
 *   file from memory, 8 lz16_draw in bands of 16 rows, to a push that does
 *   nothing; for an image with alpha, drawn over what out holds: 5
 *   lz16_unpack_blend, 6 the blend stream in bands of 256 pixels, 9
 *   lz16_draw_blend over a colour in bands of 16 rows; 10 lz16_decode_mask
 *   on masks, lz16pack --mask)
 *   -DLZ16_REPS=N
 * Built hosted (Linux under qemu-user), or bare with the device harness's
 * start file, which gives lz16_exit. -DLZ16_OUT_WORDS=N: the frame's words,
 * for CPUs with little RAM. */
#include "device_images.h"
#include "lz16dec.h"

void lz16_exit(int status);

static struct lz16_stream s;
static struct lz16_blend_stream b;
#ifndef LZ16_OUT_WORDS
#define LZ16_OUT_WORDS (320 * 240)
#endif
static uint16_t out[LZ16_OUT_WORDS];
static volatile int reps = LZ16_REPS;

/* A file in memory read as through a callback: a copy, a word at a time
 * where both sides allow (an SPI flash driver's DMA does as well). */
static int32_t read_at(void *ctx, uint32_t offset, uint8_t *buf, uint32_t n)
{
    const uint8_t *from = (const uint8_t *)ctx + offset;
    uint32_t k = 0;
    if ((((uintptr_t)from | (uintptr_t)buf) & 3) == 0)
        for (; k + 4 <= n; k += 4)
            *(uint32_t *)(buf + k) = *(const uint32_t *)(from + k);
    for (; k < n; ++k)
        buf[k] = from[k];
    return (int32_t)n;
}

static void push(void *ctx, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels)
{
    (void)ctx, (void)x, (void)y, (void)w, (void)h, (void)pixels;
}

int main(void)
{
    const struct lz16_asset *a = &device_images[0];
    int k, i;
    for (k = 0; k < reps; ++k)
        for (i = 0, a = &device_images[0]; i < (LZ16_ENTRY == 5 || LZ16_ENTRY == 6 || LZ16_ENTRY >= 9 ? DEVICE_IMAGES_COUNT : 1);
             a = &device_images[++i]) {
        if (LZ16_ENTRY == 1) {
            lz16_unpack(a->data, out);
        } else if (LZ16_ENTRY == 2) {
            lz16_decode(a->data, a->size, out, sizeof out / sizeof out[0]);
        } else if (LZ16_ENTRY == 5) {
            lz16_unpack_blend(a->data, a->alpha, out);
        } else if (LZ16_ENTRY == 8) {
            lz16_stream_init(&s, a->data, a->size);
            lz16_draw(&s, (uint16_t)a->width, out, 32 * a->width, push, 0);
        } else if (LZ16_ENTRY == 9) {
            static const struct lz16_backdrop grey = {0x7BCF, 0, 0, 0, 0};
            lz16_blend_init(&b, a->data, a->size, a->alpha, a->alpha_size);
            lz16_draw_blend(&b, (uint16_t)a->width, 0, 0, (uint16_t)a->width, 0xFFFF, &grey, out, 32 * a->width, push, 0);
        } else if (LZ16_ENTRY == 10) {
            lz16_decode_mask(a->data, a->size, 0x7BCF, out, sizeof out / sizeof out[0]);
        } else if (LZ16_ENTRY == 6) {
            uint16_t *band = out;
            lz16_blend_init(&b, a->data, a->size, a->alpha, a->alpha_size);
            while (lz16_blend_read(&b, band, 256) > 0)
                band += 256;
        } else {
            if (LZ16_ENTRY == 7)
                lz16_stream_open(&s, read_at, (void *)a->data, a->size);
            else
                lz16_stream_init(&s, a->data, a->size);
            while ((LZ16_ENTRY != 4 ? lz16_stream_read(&s, out, 256) : lz16_stream_skip(&s, (size_t)-1)) > 0)
                ;
        }
    }
#if defined(__riscv) || defined(__AVR__)
    lz16_exit(0);
#endif
    return 0;
}
