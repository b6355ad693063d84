/* Checks every entry point of the device decoder on one image, on whatever
 * CPU it is built for: the .lz file must decode to the words of the raw RGB
 * it was made from (top five bits of each channel, in the CPU's byte order,
 * or swapped when built with LZ16DEC_SWAP_BYTES).
 *
 *   lz16dec_check IMAGE.rgb IMAGE.lz
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lz16dec.h"

/* Room for images of up to 2^21 pixels; the file goes in one byte on, at
 * an odd address: no entry point may assume alignment. */
static unsigned char rgb[3 << 21], lz[(3 << 21) + 1];
static uint16_t want[1 << 21], out[(1 << 21) + 16];

static size_t slurp(const char *path, unsigned char *bytes, size_t room)
{
    FILE *f = fopen(path, "rb");
    size_t n = f ? fread(bytes, 1, room, f) : room;
    if (n == room || (f && ferror(f))) {
        fprintf(stderr, "lz16dec_check: cannot read %s, or it is too large\n", path);
        exit(2);
    }
    fclose(f);
    return n;
}

#define CHECK(cond, what)                                                          \
    do {                                                                           \
        if (!(cond)) {                                                             \
            fprintf(stderr, "lz16dec_check: %s: %s fails\n", argv[2], what);       \
            return 1;                                                              \
        }                                                                          \
    } while (0)

int main(int argc, char **argv)
{
    static struct lz16_stream s;
    size_t size, npix, k, got = 0, step = 1;
    const unsigned char *file = lz + 1;
    int32_t r;
    if (argc != 3)
        return 2;
    npix = slurp(argv[1], rgb, sizeof rgb) / 3;
    size = slurp(argv[2], lz + 1, sizeof lz - 1);
    for (k = 0; k < npix; ++k) {
        const unsigned r8 = rgb[3 * k], g8 = rgb[3 * k + 1], b8 = rgb[3 * k + 2];
        const unsigned w = (r8 & 0xF8) << 8 | (g8 & 0xF8) << 3 | b8 >> 3;
#ifdef LZ16DEC_SWAP_BYTES
        want[k] = (uint16_t)(w >> 8 | (w & 0xFF) << 8);
#else
        want[k] = (uint16_t)w;
#endif
    }

    CHECK(lz16_decode(file, size, NULL, 0) == (int32_t)npix, "lz16_decode counting");
    memset(out, 0xAB, 2 * npix + 32);
    CHECK(lz16_decode(file, size, out, npix) == (int32_t)npix && memcmp(out, want, 2 * npix) == 0 &&
              out[npix] == 0xABAB,
          "lz16_decode");
    CHECK(npix == 0 || lz16_decode(file, size, out, npix - 1) == LZ16_E_CAPACITY, "lz16_decode short of room");
    CHECK(lz16_decode(file, size - 1, NULL, 0) < 0 && lz16_decode(file, size + 1, NULL, 0) < 0, "lz16_decode length");
    memset(out, 0xAB, 2 * npix + 32);
    CHECK(npix == 0 || (lz16_unpack(file, out) == out + npix && memcmp(out, want, 2 * npix) == 0 &&
                        out[npix] == 0xABAB),
          "lz16_unpack");

    /* Streaming in pieces of 1, 2, 3, ... pixels. */
    memset(out, 0xAB, 2 * npix + 32);
    CHECK(lz16_stream_init(&s, file, size) == 0, "lz16_stream_init");
    while ((r = lz16_stream_read(&s, out + got, step++)) > 0)
        got += (size_t)r;
    CHECK(r == 0 && got == npix && memcmp(out, want, 2 * npix) == 0 && lz16_stream_read(&s, out, 1) == 0,
          "lz16_stream_read");
    CHECK(sizeof s <= 4096 + 64, "the stream's size");

    printf("%s: %lu pixels ok\n", argv[2], (unsigned long)npix);
    return 0;
}
