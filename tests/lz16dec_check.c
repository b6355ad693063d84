// Checks every entry point of the device decoder, on whatever CPU it is
// built for, against the words of the raw RGB an image was made from: the
// top five bits of each channel in the pixel order of LZ16DEC_FORMAT, in
// the CPU's byte order or swapped with LZ16DEC_SWAP_BYTES (the harness and
// the decoder are built with the same macros).
//
//   lz16dec_check IMAGE.rgb IMAGE.lz          each result against the words
//   lz16dec_check --sums NAME IMAGE.rgb ROOM  the lines a built-in build
//                                              must print for the image
//   lz16dec_check --blend PIXELS COLOUR.lz ALPHA.lz
//                                  an image with alpha drawn by every blend
//                                  entry point, against a reference blend;
//                                  PIXELS holds each pixel's colour (each 5-bit
//                                  level widened to 8 bits) and alpha level
//   lz16dec_check --blend-sums NAME COLOUR.lz ALPHA.lz
//                                  the lines a built-in build must print for it
//
// Built with LZ16_BUILTIN for CPUs with no files, the images are lz16pack's
// arrays (device_images.h; in flash on AVR, read through LZ16DEC_READ_BYTE)
// and for each it prints the checksum of what each entry point gave:
// "NAME count N", "NAME unpack SUM" and "NAME decode SUM" (for images of up
// to LZ16_ROOM pixels), "NAME stream SUM", "NAME mix SUM", then "done"
// (and for an image with alpha "NAME blend SUM", "NAME blend-mix SUM" and
// "NAME apart SUM", the image drawn over a pattern, instead); a
// result wrong on its face prints "NAME WHAT fails". The board gives
// lz16_putc and lz16_exit (device/boards/lz16_board.c).
#include "lz16dec.h"

// FNV-1a over each word's value, low byte then high byte, so that it does
// not depend on the CPU's byte order.
static uint32_t sum(uint32_t h, const uint16_t *w, size_t n)
{
    for (; n; --n, ++w)
        h = ((h ^ (*w & 0xFFu)) * 16777619u ^ (unsigned)(*w >> 8)) * 16777619u;
    return h;
}

// The sizes of the reads (even steps) and skips (odd) of the mixed stream:
// many sizes, crossing the window's wrap at every offset.
static size_t mix_size(size_t step)
{
    return step % 2 ? step * 37 % 700 + 1 : step * 53 % 300 + 1;
}

// A file read through a callback: copied from memory (through
// LZ16DEC_READ_BYTE where the decoder reads files so), failing from byte
// fail on; a read outside the file is marked.
struct source {
    const uint8_t *file;
    uint32_t size, fail;
    int outside;
};

static int32_t read_at(void *ctx, uint32_t offset, uint8_t *buf, uint32_t n)
{
    struct source *f = (struct source *)ctx;
    uint32_t k;
    if (offset > f->size || n > f->size - offset || n > LZ16_CHUNK)
        return f->outside = 1, -1;
    for (k = 0; k < n && offset + k < f->fail; ++k)
#ifdef LZ16DEC_READ_BYTE
        buf[k] = LZ16DEC_READ_BYTE(f->file + offset + k);
#else
        buf[k] = f->file[offset + k];
#endif
    return (int32_t)k;
}

// The shape the band checks give an image of npix pixels: a width of at
// most 256 dividing it, and a window inside.
struct shape {
    uint32_t width, x, y, w, h;
};

static struct shape shape_of(size_t npix)
{
    struct shape a;
    for (a.width = npix < 256 ? (uint32_t)npix : 256; a.width > 1 && npix % a.width; --a.width)
        ;
    a.x = a.width / 5, a.w = a.width / 2 + 1;
    a.y = (uint32_t)(npix / a.width / 7), a.h = (uint32_t)(npix / a.width / 2);
    return a;
}

#ifdef LZ16_BUILTIN
#include "device_images.h"
#ifndef LZ16_ROOM
#define LZ16_ROOM 1024
#endif
void lz16_putc(char c);
void lz16_exit(int status);
static uint16_t out[LZ16_ROOM + 1];

static void put(const char *t, uint32_t v, int hex)
{
    int shift;
    while (*t)
        lz16_putc(*t++);
    for (shift = 28; hex && shift >= 0; shift -= 4)
        lz16_putc("0123456789abcdef"[(v >> shift) & 15]);
}
#define SEEN(w, first, n) (h = sum(h, w, n), 1)
#define REPORT(name, what, ok, v)                                                                  \
    (put(name, 0, 0), put(" " what " ", 0, 0), put((ok) ? "" : "fails", (ok) ? (v) : 0, ok), put("\n", 0, 0), !(ok))
#else
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#define LZ16_ROOM (1u << 21)
// Room for images of up to 2^21 pixels; the file goes in one byte on, at
// an odd address: no entry point may assume alignment.
static unsigned char rgb[3 << 21], lz[(3 << 21) + 1];
static uint16_t want[1 << 21], out[(1 << 21) + 1];
#define SEEN(w, first, n) (memcmp(w, want + (first), 2 * (size_t)(n)) == 0)
#define REPORT(name, what, ok, v) (!(ok) && fprintf(stderr, "lz16dec_check: %s: " what " fails\n", name) > 0)

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

// The expected word of a pixel, written out channel by channel.
static uint16_t expected(unsigned r8, unsigned g8, unsigned b8)
{
    const unsigned r = r8 >> 3, g = g8 >> 3, b = b8 >> 3;
    unsigned w;
#if !defined(LZ16DEC_FORMAT) || LZ16DEC_FORMAT == LZ16DEC_RGB565
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
#endif

// The streams' checks keep their stream (8 KB with alpha) on the stack only
// while they run: an ATmega1284 has 16 KB in all.
#ifdef __GNUC__
#define OWN_FRAME __attribute__((noinline))
#else
#define OWN_FRAME
#endif

static uint32_t h;  // the checksum of what SEEN saw since START
#define START (h = 2166136261u)  // FNV-1a's start

// What the band checks' push expects, and whether it got it: each band the
// next rows of the window, the band before still as it was pushed (the
// decoder writes into the other half meanwhile); a band's words against ref
// (rows of width words) or, without one, to SEEN.
struct bands {
    struct shape a;
    const uint16_t *ref, *last;
    uint32_t rows, last_n, last_sum;
    int ok;
};

static void push(void *ctx, uint16_t x, uint16_t y, uint16_t w, uint16_t rows, const uint16_t *px)
{
    struct bands *b = (struct bands *)ctx;
    uint32_t k;
    b->ok = b->ok && (!b->last || sum(0, b->last, b->last_n) == b->last_sum) && x == b->a.x && w == b->a.w &&
            y == b->a.y + b->rows && rows > 0;
    for (k = 0; b->ok && k < (uint32_t)rows * w; ++k)
        b->ok = b->ref ? px[k] == b->ref[(y + k / w) * b->a.width + x + k % w] : 1;
    for (k = 0; b->ok && !b->ref && k < rows; ++k)
        b->ok = SEEN(px + k * w, (size_t)(y + k) * b->a.width + x, w);
    b->rows += rows, b->last = px, b->last_n = (uint32_t)rows * w, b->last_sum = sum(0, px, b->last_n);
}

// Whether a draw gave want, its bands as push checks them, the last one
// untouched since.
static int drawn(struct bands *b, int32_t got, int32_t want)
{
    return b->ok && got == want && (uint32_t)b->rows == (uint32_t)(want < 0 ? b->rows : (uint32_t)want) &&
           (!b->last || sum(0, b->last, b->last_n) == b->last_sum);
}

// The stream from memory and through a callback, each read whole and in
// mixed reads and skips, a callback that fails, and the stream drawn in
// bands, whole and through a window. Returns 0, or 1 after reporting.
static OWN_FRAME int check_streams(const char *name, const uint8_t *file, size_t size, size_t npix)
{
    struct lz16_stream s;
    struct source src = {0, 0, 0, 0};
    const struct shape a = shape_of(npix);
    struct bands b = {a, 0, 0, 0, 0, 0, 1};
    uint32_t sums[2], way, rows = (uint32_t)(LZ16_ROOM / 2 / a.width < 3 ? LZ16_ROOM / 2 / a.width : 3);
    size_t got, step;
    int32_t r = 0;
    int ok = 1;
    src.file = file, src.size = (uint32_t)size, src.fail = (uint32_t)-1;
    for (way = 0; way < 2; ++way) {
        way ? lz16_stream_open(&s, read_at, &src, (uint32_t)size) : lz16_stream_init(&s, file, size);
        for (START, got = 0; ok && (r = lz16_stream_read(&s, out, 256)) > 0; got += (size_t)r)
            ok = SEEN(out, got, r);
        ok = ok && r == 0 && got == npix;
        sums[way] = h;
    }
    b.a.x = b.a.y = 0, b.a.w = a.width;  // drawn whole in bands of up to 3 rows
    lz16_stream_init(&s, file, size);
    START, r = lz16_draw(&s, (uint16_t)a.width, out, 2 * rows * a.width + 1, push, &b);
    ok = ok && drawn(&b, r, (int32_t)(npix / a.width)) && h == sums[0];
    if (REPORT(name, "stream", ok && sums[0] == sums[1], sums[0]))
        return 1;
    for (way = 0; way < 2; ++way) {
        way ? lz16_stream_open(&s, read_at, &src, (uint32_t)size) : lz16_stream_init(&s, file, size);
        for (START, ok = 1, got = 0, step = 0; ok && got < npix; got += (size_t)r, ++step) {
            const size_t n = mix_size(step), most = n < npix - got ? n : npix - got;
            if (step % 2 == 0)
                out[most] = 0xABCD;
            r = step % 2 ? lz16_stream_skip(&s, n) : lz16_stream_read(&s, out, n);
            ok = r > 0 && (size_t)r == most && (step % 2 || (out[most] == 0xABCD && SEEN(out, got, most)));
        }
        ok = ok && lz16_stream_skip(&s, 1) == 0 && lz16_stream_read(&s, out, 1) == 0;
        sums[way] = ok ? h : ~h;
    }
    // A read that fails, from the header or halfway on, ends the stream for good.
    src.fail = (uint32_t)size / 2;
    ok = lz16_stream_open(&s, read_at, &src, (uint32_t)size) == (size >= 40 ? 0 : LZ16_E_READ);
    while (ok && (r = lz16_stream_skip(&s, 100)) > 0)
        ;
    ok = ok && r == LZ16_E_READ && lz16_stream_read(&s, out, 1) == LZ16_E_READ && !src.outside;
    src.fail = 0;
    ok = ok && lz16_stream_open(&s, read_at, &src, (uint32_t)size) == LZ16_E_READ;
    ok = ok && lz16_stream_read(&s, out, 1) == LZ16_E_READ && (sizeof(void *) > 4 || sizeof s <= 4812);
    if (REPORT(name, "mix", ok && sums[0] == sums[1], sums[0]))
        return 1;
    // The window, and the errors: a width the image is not whole rows of,
    // a half too small for a row.
    b.a = a, b.rows = 0, b.last = 0, b.ok = 1;
    lz16_stream_init(&s, file, size);
    START, r = lz16_draw_window(&s, (uint16_t)a.width, (uint16_t)a.x, (uint16_t)a.y, (uint16_t)a.w, (uint16_t)a.h,
                                out, 2 * rows * a.w + 3, push, &b);
    ok = drawn(&b, r, (int32_t)a.h);
    sums[0] = h;
    b.a.x = b.a.y = 0, b.a.width = b.a.w = a.width + 1, b.rows = 0, b.last = 0, b.ok = 1, b.ref = 0;
    lz16_stream_init(&s, file, size);
    r = lz16_draw(&s, (uint16_t)(a.width + 1), out, 2 * a.width + 2, push, &b);
    ok = ok && (npix % (a.width + 1) ? r == LZ16_E_WIDTH : r == (int32_t)(npix / (a.width + 1))) &&
         b.rows == npix / (a.width + 1);
    lz16_stream_init(&s, file, size);
    ok = ok && lz16_draw(&s, (uint16_t)a.width, out, 2 * a.width - 1, push, &b) == LZ16_E_CAPACITY;
    return REPORT(name, "window", ok, sums[0]);
}

#ifndef LZ16DEC_FORMAT
#define LZ16DEC_FORMAT LZ16DEC_RGB565
#endif
#ifdef LZ16DEC_SWAP_BYTES
#define OWN_FORMAT (LZ16DEC_FORMAT | LZ16DEC_SWAPPED)
#else
#define OWN_FORMAT LZ16DEC_FORMAT
#endif

// Every entry point on the image; returns 0, or 1 after reporting a fault.
// A guard word after each output must stay as it was.
static int check(const char *name, const uint8_t *file, size_t size, size_t npix)
{
    int ok;
    if (REPORT(name, "count", lz16_decode(file, size, NULL, 0) == (int32_t)npix, (uint32_t)npix))
        return 1;
    if (npix <= LZ16_ROOM) {
        out[npix] = 0xABCD;
        ok = npix == 0 || (START, lz16_unpack(file, out) == out + npix && SEEN(out, 0, npix));
        if (REPORT(name, "unpack", ok && out[npix] == 0xABCD, h))
            return 1;
        ok = (START, lz16_decode(file, size, out, npix) == (int32_t)npix && SEEN(out, 0, npix));
        // and lz16_recode on its words: to lz16's order, which
        // LZ16_PIXEL_WORD takes back, and to this build's, which changes nothing
        for (size_t k = 0; ok && k < npix; ++k) {
            uint16_t plain = out[k], same = out[k];
            lz16_recode(&plain, 1, LZ16DEC_RGB565);
            lz16_recode(&same, 1, OWN_FORMAT);
            ok = LZ16_PIXEL_WORD(plain) == out[k] && same == out[k];
        }
        if (REPORT(name, "decode", ok && out[npix] == 0xABCD, h))
            return 1;
    }
    return check_streams(name, file, size, npix);
}

// The background an image with alpha is drawn over: every bit of a word set
// and cleared somewhere, the lowest green one of 565 and bit 15 included.
static uint16_t background(size_t k)
{
    return (uint16_t)(k * 40503u + 4660u);
}

#ifndef LZ16_BUILTIN
static unsigned char pixels[4 << 21];  // with --blend: each pixel's widened colour and its level
static uint16_t spare[1 << 20], backdrop[1 << 21];  // spare: alpha8's, or bands; backdrop: its pixels
#define alpha8 ((uint8_t *)spare)

// Whether got is pixel k drawn over its background by the rule lz16dec.h
// states, checked against the exact blend in whole numbers: 31 * got within
// 31 of c * L + b * (31 - L) in each channel (62 for green in six bits).
static int blended(size_t k, uint16_t got)
{
    const unsigned level = pixels[4 * k + 3], bg = background(k);
    const unsigned c = expected(pixels[4 * k], pixels[4 * k + 1], pixels[4 * k + 2]);
    unsigned g = got, fg = c, bk = bg, i;
#if !defined(LZ16DEC_FORMAT) || LZ16DEC_FORMAT == LZ16DEC_RGB565 || LZ16DEC_FORMAT == LZ16DEC_BGR565
    const unsigned shift[3] = {11, 5, 0}, bits[3] = {5, 6, 5};
#else
    const unsigned shift[3] = {10, 5, 0}, bits[3] = {5, 5, 5};
#endif
    if (level == 0 || level == 31)
        return got == (level ? c : bg);
#ifdef LZ16DEC_SWAP_BYTES
    g = (g >> 8 | g << 8) & 0xFFFF, fg = (fg >> 8 | fg << 8) & 0xFFFF, bk = (bk >> 8 | bk << 8) & 0xFFFF;
#endif
    for (i = 0; i < 3; ++i) {
        const long m = (1L << bits[i]) - 1, exact = ((fg >> shift[i]) & m) * level + ((bk >> shift[i]) & m) * (31 - level);
        const long d = 31 * (long)((g >> shift[i]) & m) - exact;
        if (d > 31 * (long)(bits[i] - 4) || d < -31 * (long)(bits[i] - 4))
            return 0;
        g &= ~(unsigned)(m << shift[i]);
    }
    return g == 0;  // nothing outside the channels
}
#define BLENDED(k, w) blended(k, w)
#define APART(k, w, a) ((w) == (pixels[4 * (k) + 3] ? expected(pixels[4 * (k)], pixels[4 * (k) + 1], pixels[4 * (k) + 2]) : 0) && \
                        (a) == (pixels[4 * (k) + 3] << 3 | pixels[4 * (k) + 3] >> 2))
#else
static uint16_t spare[LZ16_ROOM / 2 + 1];
#define alpha8 ((uint8_t *)spare)
#define BLENDED(k, w) 1
#define APART(k, w, a) 1
#endif

static uint32_t blend_sums[3];  // of what the blend, the blend-mix and the apart check saw

// The blend stream reading and skipping by turns (what is read drawn as the
// whole was, what is skipped untouched), then reading colour and alpha
// apart; ok is what came before. Returns 0, or 1 after reporting a fault.
static OWN_FRAME int check_blend_streams(const char *name, const uint8_t *colour, size_t csize, const uint8_t *alpha,
                                         size_t asize, size_t npix, int checked, int ok)
{
    struct lz16_blend_stream b;
    size_t k, got, step;
    int32_t r = 0;
    for (k = 0; k <= npix; ++k)
        out[k] = background(k);
    ok = ok && lz16_blend_init(&b, colour, csize, alpha, asize) == 0;
    for (got = 0, step = 0; ok && got < npix; got += (size_t)r, ++step) {
        const size_t n = mix_size(step), most = n < npix - got ? n : npix - got;
        r = step % 2 ? lz16_blend_skip(&b, n) : lz16_blend_read(&b, out + got, n);
        ok = r > 0 && (size_t)r == most;
        for (k = got; ok && checked && k < got + most; ++k)
            ok = step % 2 ? out[k] == background(k) : BLENDED(k, out[k]);
    }
    blend_sums[1] = h = sum(START, out, npix);
    ok = ok && lz16_blend_read(&b, out, 1) == 0 && lz16_blend_skip(&b, 1) == 0 && sizeof b <= 2 * sizeof b.colour + 96;
    if (REPORT(name, "blend-mix", ok, h))
        return 1;
    // Apart: the colour words and 8-bit alphas, for a library that blends itself.
    ok = lz16_blend_init(&b, colour, csize, alpha, asize) == 0;
    for (START, got = 0; ok && (r = lz16_blend_read_alpha(&b, out, alpha8, 256)) > 0; got += (size_t)r) {
        for (k = 0; checked && k < (size_t)r; ++k)
            ok = ok && APART(got + k, out[k], alpha8[k]);
        h = sum(h, out, (size_t)r);
        for (k = 0; k < (size_t)r; ++k)
            h = (h ^ alpha8[k]) * 16777619u;
    }
    blend_sums[2] = h;
    return REPORT(name, "apart", ok && r == 0 && got == npix, h);
}

// The planes as files read through a callback, read and skipped by turns as
// from memory; the image drawn in bands through a window over a colour and
// (hosted) over another image, against the whole drawn over the same.
static OWN_FRAME int check_blend_bands(const char *name, const uint8_t *colour, size_t csize, const uint8_t *alpha,
                                       size_t asize, size_t npix, int ok)
{
    struct lz16_blend_file f;
    struct source cs = {0, 0, (uint32_t)-1, 0}, as = {0, 0, (uint32_t)-1, 0};
    const struct shape a = shape_of(npix);
    struct bands b = {a, out, 0, 0, 0, 0, 1};
    struct lz16_backdrop under = {LZ16_PIXEL_WORD(0x7BCF), 0, 0, 0, 0};
    const uint32_t words = sizeof spare / 2 < 6 * a.w + 1 ? sizeof spare / 2 : 6 * a.w + 1;
    size_t k, got, step;
    int32_t r = 0;
    cs.file = colour, cs.size = (uint32_t)csize, as.file = alpha, as.size = (uint32_t)asize;
    // out holds the image drawn whole over the colour (see check_blend)
    ok = ok && lz16_blend_init(&f.blend, colour, csize, alpha, asize) == 0;
    r = lz16_draw_blend(&f.blend, (uint16_t)a.width, (uint16_t)a.x, (uint16_t)a.y, (uint16_t)a.w, (uint16_t)a.h, &under,
                        spare, words, push, &b);
    ok = ok && drawn(&b, r, (int32_t)a.h);
    for (k = 0; k <= npix; ++k)
        out[k] = background(k);
    ok = ok && lz16_blend_open(&f, read_at, &cs, (uint32_t)csize, &as, (uint32_t)asize) == 0;
    for (got = 0, step = 0; ok && got < npix; got += (size_t)r, ++step) {
        const size_t n = mix_size(step);
        r = step % 2 ? lz16_blend_skip(&f.blend, n) : lz16_blend_read(&f.blend, out + got, n);
        ok = r > 0 && (size_t)r == (n < npix - got ? n : npix - got);
    }
    ok = ok && sum(START, out, npix) == blend_sums[1] && lz16_blend_read(&f.blend, out, 1) == 0 && !cs.outside &&
         !as.outside;
#ifndef LZ16_BUILTIN
    {
        static struct lz16_stream image;
        const uint32_t bw = a.x + a.w + 2, cp = (uint32_t)lz16_decode(colour, csize, backdrop, sizeof backdrop / 2);
        const uint32_t rows = cp / bw > a.y + 2 ? cp / bw - a.y - 1 : 0, high = rows < a.h ? rows : a.h;
        uint32_t i, j;
        under.image = &image, under.width = (uint16_t)bw, under.x = under.y = 1;
        for (j = 0; j < high; ++j)
            for (i = 0; i < a.w; ++i)
                out[(a.y + j) * a.width + a.x + i] = backdrop[(1 + a.y + j) * bw + 1 + a.x + i];
        ok = ok && lz16_decode_blend(colour, csize, alpha, asize, out, npix) == (int32_t)npix;
        lz16_blend_init(&f.blend, colour, csize, alpha, asize);
        lz16_stream_init(&image, colour, csize);
        b.rows = 0, b.last = 0, b.a.h = high;
        r = lz16_draw_blend(&f.blend, (uint16_t)a.width, (uint16_t)a.x, (uint16_t)a.y, (uint16_t)a.w, (uint16_t)high,
                            &under, spare, words, push, &b);
        ok = ok && drawn(&b, r, (int32_t)high);
        // a backdrop that ends before the window does: its last row under the window's
        lz16_blend_init(&f.blend, colour, csize, alpha, asize);
        lz16_stream_init(&image, colour, csize);
        under.y = (uint16_t)(cp / bw - a.y - high + 1);
        ok = ok && (!high || lz16_draw_blend(&f.blend, (uint16_t)a.width, (uint16_t)a.x, (uint16_t)a.y, (uint16_t)a.w,
                                             (uint16_t)high, &under, spare, words, push, &b) == LZ16_E_WIDTH);
    }
#endif
    return REPORT(name, "bands", ok, blend_sums[1]);
}

// Every blend entry point on an image with alpha of npix pixels, checked
// against the reference with checked (in a hosted build), and summed;
// returns 0, or 1 after reporting a fault.
static int check_blend(const char *name, const uint8_t *colour, size_t csize, const uint8_t *alpha, size_t asize,
                       size_t npix, int checked)
{
    size_t k;
    int32_t r;
    int ok = 1;
    if (npix > LZ16_ROOM)
        return 0;
    for (k = 0; k <= npix; ++k)
        out[k] = background(k);
    r = lz16_decode_blend(colour, csize, alpha, asize, out, npix);
    for (k = 0; checked && k < npix; ++k)
        ok = ok && BLENDED(k, out[k]);
    blend_sums[0] = h = sum(START, out, npix);
    if (REPORT(name, "blend", r == (int32_t)npix && ok && out[npix] == background(npix), h))
        return 1;
    for (k = 0; k <= npix; ++k)
        out[k] = background(k);
    ok = lz16_unpack_blend(colour, alpha, out) == out + npix && sum(START, out, npix) == blend_sums[0];
    if (check_blend_streams(name, colour, csize, alpha, asize, npix, checked, ok))
        return 1;
    for (k = 0; k < npix; ++k)  // the reference for check_blend_bands, whose stream is on the stack with none
        out[k] = LZ16_PIXEL_WORD(0x7BCF);
    r = lz16_decode_blend(colour, csize, alpha, asize, out, npix);
    return check_blend_bands(name, colour, csize, alpha, asize, npix, r == (int32_t)npix);
}

#ifdef LZ16_BUILTIN
int main(void)
{
    int bad = 0;
    unsigned k;
    for (k = 0; k < DEVICE_IMAGES_COUNT; ++k) {
        const struct lz16_asset *a = &device_images[k];
        const size_t npix = (size_t)a->width * a->height;
        bad |= a->alpha ? check_blend(a->name, a->data, a->size, a->alpha, a->alpha_size, npix, 0)
                        : check(a->name, a->data, a->size, npix);
    }
    put("done\n", 0, 0);
    lz16_exit(bad);
    return bad;
}
#else
int main(int argc, char **argv)
{
    size_t npix, k, got, step;
    if (argc == 5 && strncmp(argv[1], "--blend", 7) == 0) {  // --blend PIXELS or --blend-sums NAME, then the planes
        static unsigned char alpha[(3 << 21) + 1];
        const size_t csize = slurp(argv[3], lz + 1, sizeof lz - 1), asize = slurp(argv[4], alpha + 1, sizeof alpha - 1);
        const int sums = strcmp(argv[1], "--blend-sums") == 0;
        if (sums) {  // the image's size from its alpha plane, as the device finds it
            static struct lz16_blend_stream b;
            int32_t r;
            lz16_blend_init(&b, lz + 1, csize, alpha + 1, asize);
            for (npix = 0; (r = lz16_blend_skip(&b, 1 << 20)) > 0;)
                npix += (size_t)r;
            if (r < 0 || check_blend(argv[2], lz + 1, csize, alpha + 1, asize, npix, 0))
                return 1;
            for (k = 0; k < 4; ++k)
                printf("%s %s %08lx\n", argv[2], k == 0 ? "blend" : k == 1 ? "blend-mix" : k == 2 ? "apart" : "bands",
                       (unsigned long)blend_sums[k == 3 ? 1 : k]);
            return 0;
        }
        npix = slurp(argv[2], pixels, sizeof pixels) / 4;
        return check_blend(argv[4], lz + 1, csize, alpha + 1, asize, npix, 1);
    }
    if (argc != 3 && !(argc == 5 && strcmp(argv[1], "--sums") == 0))
        return 2;
    npix = slurp(argv[argc - 2], rgb, sizeof rgb) / 3;
    for (k = 0; k < npix; ++k) {
        want[k] = expected(rgb[3 * k], rgb[3 * k + 1], rgb[3 * k + 2]);
        if (LZ16_PIXEL_WORD((rgb[3 * k] >> 3) << 11 | (rgb[3 * k + 1] >> 3) << 6 | rgb[3 * k + 2] >> 3) != want[k]) {
            printf("LZ16_PIXEL_WORD fails at pixel %lu\n", (unsigned long)k);  // as lz16pack's ID_KEY is used
            return 1;
        }
    }
    if (argc == 3)
        return check(argv[2], lz + 1, slurp(argv[2], lz + 1, sizeof lz - 1), npix);
    h = sum(START, want, npix);
    printf("%s count %08lx\n", argv[2], (unsigned long)npix);
    if (npix <= strtoul(argv[4], NULL, 10))
        printf("%s unpack %08lx\n%s decode %08lx\n", argv[2], (unsigned long)h, argv[2], (unsigned long)h);
    printf("%s stream %08lx\n", argv[2], (unsigned long)h);
    for (START, got = 0, step = 0; got < npix; got += mix_size(step++))
        if (step % 2 == 0)
            h = sum(h, want + got, mix_size(step) < npix - got ? mix_size(step) : npix - got);
    printf("%s mix %08lx\n", argv[2], (unsigned long)h);
    {
        const struct shape a = shape_of(npix);
        for (START, k = 0; k < a.h; ++k)
            h = sum(h, want + (a.y + k) * a.width + a.x, a.w);
        printf("%s window %08lx\n", argv[2], (unsigned long)h);
    }
    return 0;
}
#endif
