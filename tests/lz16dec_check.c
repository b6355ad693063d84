/* Checks every entry point of the device decoder on one image, on whatever
 * CPU it is built for: the .lz file must decode to the words of the raw RGB
 * it was made from (top five bits of each channel, in the pixel order of
 * LZ16DEC_FORMAT, in the CPU's byte order or swapped with LZ16DEC_SWAP_BYTES;
 * the harness and the decoder are built with the same macros).
 *
 *   lz16dec_check IMAGE.rgb IMAGE.lz          check every entry point
 *   lz16dec_check IMAGE.rgb IMAGE.lz ENTRY N  run one entry point N times,
 *       unchecked, for counting instructions: unpack, decode, stream (in
 *       reads of 256 pixels) or skip (all of it in one skip)
 *   lz16dec_check --sum IMAGE.rgb FIRST       print the checksum of the
 *       expected words from pixel FIRST on, as the device harness makes it
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lz16dec.h"
#include "lz16dec_sum.h"

#ifndef LZ16DEC_FORMAT
#define LZ16DEC_FORMAT LZ16DEC_RGB565
#endif

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

/* The expected word of a pixel, written out channel by channel. */
static uint16_t expected(unsigned r8, unsigned g8, unsigned b8)
{
    const unsigned r = r8 >> 3, g = g8 >> 3, b = b8 >> 3;
    unsigned w;
#if LZ16DEC_FORMAT == LZ16DEC_RGB565
    w = r << 11 | g << 6 | b;
#elif LZ16DEC_FORMAT == LZ16DEC_BGR565
    w = b << 11 | g << 6 | r;
#elif LZ16DEC_FORMAT == LZ16DEC_RGB555
    w = r << 10 | g << 5 | b;
#else
    w = b << 10 | g << 5 | r;
#endif
#ifdef LZ16DEC_SWAP_BYTES
    w = w >> 8 | (w & 0xFF) << 8;
#endif
    return (uint16_t)w;
}

#define CHECK(cond, what)                                                          \
    do {                                                                           \
        if (!(cond)) {                                                             \
            fprintf(stderr, "lz16dec_check: %s: %s fails\n", argv[2], what);       \
            return 1;                                                              \
        }                                                                          \
    } while (0)

static struct lz16_stream s;

/* Runs one entry point reps times over the whole image. */
static void run(const char *entry, long reps, const unsigned char *file, size_t size)
{
    while (reps-- > 0) {
        if (strcmp(entry, "unpack") == 0) {
            lz16_unpack(file, out);
        } else if (strcmp(entry, "decode") == 0) {
            lz16_decode(file, size, out, sizeof out / sizeof out[0]);
        } else {
            const int skip = strcmp(entry, "skip") == 0;
            lz16_stream_init(&s, file, size);
            while ((skip ? lz16_stream_skip(&s, (size_t)-1) : lz16_stream_read(&s, out, 256)) > 0)
                ;
        }
    }
}

int main(int argc, char **argv)
{
    size_t size = 0, npix, k, got = 0, step = 1;
    const unsigned char *file = lz + 1;
    int32_t r;
    if (argc == 4 && strcmp(argv[1], "--sum") == 0)
        argv[1] = argv[2];
    else if (argc != 3 && argc != 5)
        return 2;
    npix = slurp(argv[1], rgb, sizeof rgb) / 3;
    for (k = 0; k < npix; ++k)
        want[k] = expected(rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]);
    if (argc == 4) {
        const size_t first = (size_t)strtoul(argv[3], NULL, 10);
        printf("%08lx\n", (unsigned long)lz16_sum(LZ16_SUM_START, want + first, npix - first));
        return 0;
    }
    size = slurp(argv[2], lz + 1, sizeof lz - 1);
    if (argc == 5) {
        run(argv[3], strtol(argv[4], NULL, 10), file, size);
        return 0;
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

    /* Skips and reads by turns, of sizes that cross the window's wrap at
     * every offset: each read gives the words at its place. */
    CHECK(lz16_stream_init(&s, file, size) == 0, "lz16_stream_init");
    for (got = 0, step = 0; got < npix; ++step) {
        const size_t n = step % 2 ? step * 37 % 700 + 1 : step * 53 % 300 + 1;
        memset(out, 0xAB, 2 * n + 32);
        r = step % 2 ? lz16_stream_skip(&s, n) : lz16_stream_read(&s, out, n);
        CHECK(r > 0 && (size_t)r == (n < npix - got ? n : npix - got), "lz16_stream_skip count");
        CHECK(step % 2 || (memcmp(out, want + got, 2 * (size_t)r) == 0 && out[r] == 0xABAB), "lz16_stream_skip");
        got += (size_t)r;
    }
    CHECK(lz16_stream_skip(&s, 1) == 0 && lz16_stream_read(&s, out, 1) == 0, "lz16_stream_skip at the end");
    CHECK(sizeof s <= 4160, "the stream's size");

    printf("%s: %lu pixels ok\n", argv[2], (unsigned long)npix);
    return 0;
}
