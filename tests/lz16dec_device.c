/* The device decoder's harness for CPUs with no files: the images are
 * lz16pack's arrays built in (in flash on AVR, read through
 * LZ16DEC_READ_BYTE), every entry point runs on each, and a checksum of
 * what each gave is printed for the host to compare with the encoder's
 * words:
 *
 *   NAME count N         lz16_decode counting
 *   NAME unpack SUM      lz16_unpack, and lz16_decode into room for exactly
 *   NAME decode SUM      the image (images of up to LZ16_ROOM pixels)
 *   NAME stream SUM      lz16_stream_read in bands of 256 pixels
 *   NAME tail FIRST SUM  skips of growing sizes to pixel FIRST, then reads
 *   done
 *
 * Built with LZ16_COUNT_ENTRY=E (1 unpack, 2 decode, 3 stream in bands of
 * 256, 4 one skip of everything) and LZ16_REPS=N, it only runs that entry
 * point N times on the first image, unchecked, for counting instructions.
 *
 * A line "NAME ... fails" reports a result that is wrong on its face. The
 * platform gives lz16_putc and lz16_exit (see lz16dec_device_*.c).
 */
#include "lz16dec.h"
#include "device_images.h" /* lz16pack --index, with each image's header */

#ifndef LZ16_ROOM
#define LZ16_ROOM 1024
#endif

void lz16_putc(char c);
void lz16_exit(int status);

static struct lz16_stream s;
static uint16_t band[256];

#ifdef LZ16_COUNT_ENTRY
static uint16_t all[1 << 16];

int main(void)
{
    const struct lz16_asset *a = &device_images[0];
    int k;
    for (k = 0; k < LZ16_REPS; ++k) {
        if (LZ16_COUNT_ENTRY == 1) {
            lz16_unpack(a->data, all);
        } else if (LZ16_COUNT_ENTRY == 2) {
            lz16_decode(a->data, a->size, all, sizeof all / sizeof all[0]);
        } else {
            lz16_stream_init(&s, a->data, a->size);
            while ((LZ16_COUNT_ENTRY == 3 ? lz16_stream_read(&s, band, 256) : lz16_stream_skip(&s, (size_t)-1)) > 0)
                ;
        }
    }
    lz16_exit(0);
    return 0;
}
#else
#include "lz16dec_sum.h"

static uint16_t whole[LZ16_ROOM + 1];


static void put_str(const char *t)
{
    while (*t)
        lz16_putc(*t++);
}

static void put_hex(uint32_t v)
{
    int shift;
    for (shift = 28; shift >= 0; shift -= 4)
        lz16_putc("0123456789abcdef"[(v >> shift) & 15]);
}

static void put_dec(uint32_t v)
{
    char digits[12];
    int k = 0;
    do
        digits[k++] = (char)('0' + v % 10);
    while ((v /= 10) != 0);
    while (k)
        lz16_putc(digits[--k]);
}

static void line(const char *name, const char *what, uint32_t v, int hex)
{
    put_str(name);
    lz16_putc(' ');
    put_str(what);
    lz16_putc(' ');
    if (hex)
        put_hex(v);
    else
        put_dec(v);
    lz16_putc('\n');
}

static int fails(const char *name, const char *what)
{
    put_str(name);
    lz16_putc(' ');
    put_str(what);
    put_str(" fails\n");
    return 1;
}

static int check(const struct lz16_asset *a)
{
    const uint32_t npix = a->width * a->height;
    const uint32_t first = npix > 300 ? npix - 300 : 0;
    uint32_t got = 0, h = LZ16_SUM_START, step = 1;
    int32_t r;
    if (lz16_decode(a->data, a->size, NULL, 0) != (int32_t)npix)
        return fails(a->name, "count");
    line(a->name, "count", npix, 0);
    if (npix <= LZ16_ROOM) {
        whole[npix] = 0xABCD;
        if (lz16_unpack(a->data, whole) != whole + npix || whole[npix] != 0xABCD)
            return fails(a->name, "unpack");
        line(a->name, "unpack", lz16_sum(LZ16_SUM_START, whole, npix), 1);
        if (lz16_decode(a->data, a->size, whole, npix) != (int32_t)npix || whole[npix] != 0xABCD)
            return fails(a->name, "decode");
        line(a->name, "decode", lz16_sum(LZ16_SUM_START, whole, npix), 1);
    }

    if (lz16_stream_init(&s, a->data, a->size) != 0)
        return fails(a->name, "stream");
    while ((r = lz16_stream_read(&s, band, 256)) > 0) {
        h = lz16_sum(h, band, (size_t)r);
        got += (uint32_t)r;
    }
    if (r != 0 || got != npix)
        return fails(a->name, "stream");
    line(a->name, "stream", h, 1);

    lz16_stream_init(&s, a->data, a->size);
    for (got = 0; got < first; got += (uint32_t)r) {
        const uint32_t n = step < first - got ? step : first - got;
        if ((r = lz16_stream_skip(&s, n)) != (int32_t)n)
            return fails(a->name, "skip");
        step = step * 3 + 1;
    }
    h = LZ16_SUM_START;
    while ((r = lz16_stream_read(&s, band, 7)) > 0)
        h = lz16_sum(h, band, (size_t)r);
    put_str(a->name);
    put_str(" tail ");
    put_dec(first);
    lz16_putc(' ');
    put_hex(h);
    lz16_putc('\n');
    return 0;
}

int main(void)
{
    int bad = 0;
    unsigned k;
    for (k = 0; k < DEVICE_IMAGES_COUNT; ++k)
        bad |= check(&device_images[k]);
    put_str("done\n");
    lz16_exit(bad);
    return bad;
}
#endif
