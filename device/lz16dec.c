/*
 * lz16dec: decoder for lz16 compressed images, for the device. See lz16dec.h.
 *
 * The file: a 16-byte header ("compress LZ" and 5 zero bytes), the length L
 * of the code segment (2 bytes big-endian; or, with bit 0 of the second byte
 * set, 2 more bytes: L's bits 22-16 in bits 7-1 of the third, 30-23 in the
 * fourth), L bytes of codes, then literals up to the end.
 *
 * Literal, one pixel: the word's low byte, whose bit 5 is the switch bit,
 * then its high byte. Code: CCCCSDDD DDDDDDDD, COUNT (2-15) pixels each
 * equal to the pixel DIST (1-2047) back; S is the switch bit. The stream
 * starts with the literals and changes segment after a token whose switch
 * bit is set; it ends on a switched literal just as the codes run out.
 *
 * Configuration, when compiling this file (see lz16dec.h):
 *   LZ16DEC_READ_BYTE(p)  how a byte of the file is read; a plain load by default
 *   LZ16DEC_FORMAT        the pixel order of the words given out
 *   LZ16DEC_SWAP_BYTES    each word with its two bytes swapped
 * Only literals are converted: codes copy words already given out.
 */
#include "lz16dec.h"

#ifndef LZ16DEC_READ_BYTE
#define LZ16DEC_READ_BYTE(p) (*(const uint8_t *)(p))
#endif
#define LZ16_B(p) ((unsigned)LZ16DEC_READ_BYTE(p))

#ifndef LZ16DEC_FORMAT
#define LZ16DEC_FORMAT LZ16DEC_RGB565
#endif

/* The word of two bytes, hi first. Big-endian CPUs load a token in one go
 * from the shift-and-or (the 68000 at even offsets), and AVR, with byte
 * registers, just places the two bytes. Elsewhere it is a sum: GCC would
 * turn the shift-and-or into a 16-bit big-endian load, and where loads must
 * be aligned back into two byte loads and a byte swap. */
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) || defined(__AVR__)
#define LZ16_WORD(hi, lo) (LZ16_B(hi) << 8 | LZ16_B(lo))
#else
#define LZ16_WORD(hi, lo) (LZ16_B(hi) * 256u + LZ16_B(lo))
#endif

/* A literal's two bytes as they lie, low byte first, as one word: in the
 * file's order or swapped, as asked for; the switch bit is bit 5 or 13. */
#if LZ16DEC_FORMAT == LZ16DEC_RGB565 && defined(LZ16DEC_SWAP_BYTES)
#define LZ16_LITERAL(p) LZ16_WORD(p, (p) + 1)
#define LZ16_SWITCH_BIT 0x2000u
#else
#define LZ16_LITERAL(p) LZ16_WORD((p) + 1, p)
#define LZ16_SWITCH_BIT 0x20u
#endif

/* The word given out for a literal: in the file's pixel order the switch
 * bit is cleared; the other orders move the channels with masks that leave
 * bit 5 behind. */
#if LZ16DEC_FORMAT == LZ16DEC_RGB565
#define LZ16_PIXEL(lit) ((uint16_t)((lit) & ~LZ16_SWITCH_BIT))
#else
#if LZ16DEC_FORMAT == LZ16DEC_BGR565
#define LZ16_ORDER(w) ((w) >> 11 | ((w) & 0x07C0u) | ((w) & 0x1Fu) << 11)
#elif LZ16DEC_FORMAT == LZ16DEC_RGB555
#define LZ16_ORDER(w) (((w) >> 1 & 0x7FE0u) | ((w) & 0x1Fu))
#elif LZ16DEC_FORMAT == LZ16DEC_BGR555
#define LZ16_ORDER(w) ((w) >> 11 | ((w) >> 1 & 0x03E0u) | ((w) & 0x1Fu) << 10)
#else
#error "LZ16DEC_FORMAT must be LZ16DEC_RGB565, LZ16DEC_BGR565, LZ16DEC_RGB555 or LZ16DEC_BGR555"
#endif
#ifdef LZ16DEC_SWAP_BYTES
#define LZ16_SWAP(w) ((w) >> 8 | ((w) & 0xFFu) << 8)
#else
#define LZ16_SWAP(w) (w)
#endif
static uint16_t lz16_pixel(unsigned lit)
{
    const unsigned w = LZ16_ORDER(lit);
    return (uint16_t)LZ16_SWAP(w);
}
#define LZ16_PIXEL(lit) lz16_pixel(lit)
#endif

/* A file of n bytes holds at most 7.5 n pixels (15 for every 2 bytes of
 * codes), so up to this size every pixel count fits an int32_t. */
#define LZ16_MAX_FILE 0xFFFFFFFu

/* A code token read as one big-endian word: CCCCSDDDDDDDDDDD. */
#define LZ16_TOKEN(p) LZ16_WORD(p, (p) + 1)
#define LZ16_COUNT(t) ((t) >> 12)
#define LZ16_DIST(t) ((t) & 0x7FFu)
/* Whether a code token's switch bit is set, by the sign of the bit shifted
 * to the top of 16: a shift and a branch, with no constant to load. The
 * narrowing wraps, as every compiler for these CPUs defines it to. */
#define LZ16_SWITCHES(t) ((int16_t)((t) << 4) < 0)

uint16_t *lz16_unpack(const void *file, uint16_t *dst)
{
    const uint8_t *f = (const uint8_t *)file;
    const uint8_t *code = f + 18;
    const uint8_t *data = code + LZ16_WORD(f + 16, f + 17), *code_end;
    if (LZ16_B(f + 17) & 1) { /* the long form: the odd length is its flag, and 2 more bytes */
        data += ((uint32_t)LZ16_B(f + 18) << 15 | (uint32_t)LZ16_B(f + 19) << 23) + 1;
        code += 2;
    }
    code_end = data;
    for (;;) {
        const unsigned lit = LZ16_LITERAL(data);
        data += 2;
        *dst++ = LZ16_PIXEL(lit);
        if (!(lit & LZ16_SWITCH_BIT))
            continue;
        if (code == code_end)
            return dst;
        for (;;) {
            const unsigned t = LZ16_TOKEN(code);
            uint16_t *stop = dst + LZ16_COUNT(t);
            const ptrdiff_t dist = (ptrdiff_t)LZ16_DIST(t);
            code += 2;
            do {
                *dst = dst[-dist];
                ++dst;
            } while (dst != stop);
            if (LZ16_SWITCHES(t))
                break;
        }
    }
}

/* Checks the header and length field of the size bytes at f, and finds the
 * two segments: codes from *code to *data, literals from *data to the end. */
static int lz16_segments(const uint8_t *f, size_t size, const uint8_t **code, const uint8_t **data)
{
    static const char magic[] = "compress LZ\0\0\0\0"; /* and its terminator: 16 bytes */
    size_t head = 18;
    uint32_t len;
    unsigned i;
    if (size < 18)
        return LZ16_E_HEADER;
#if SIZE_MAX > LZ16_MAX_FILE
    if (size > LZ16_MAX_FILE)
        return LZ16_E_TOO_LARGE;
#endif
    for (i = 0; i < 16; ++i)
        if (LZ16_B(f + i) != (unsigned char)magic[i])
            return LZ16_E_HEADER;
    len = (uint32_t)LZ16_B(f + 16) << 8 | (LZ16_B(f + 17) & 0xFEu);
    if (LZ16_B(f + 17) & 1) {
        if (size < 20 || (LZ16_B(f + 18) & 1))
            return LZ16_E_LENGTH;
        len |= (uint32_t)LZ16_B(f + 18) << 15 | (uint32_t)LZ16_B(f + 19) << 23;
        if (len <= 0xFFFFu)
            return LZ16_E_LENGTH;
        head = 20;
    }
    if (len > size - head || ((size - head - len) & 1))
        return LZ16_E_LENGTH;
    *code = f + head;
    *data = f + head + len;
    return 0;
}

int32_t lz16_decode(const void *file, size_t size, uint16_t *dst, size_t capacity)
{
    const uint8_t *f = (const uint8_t *)file, *end = f + size;
    const uint8_t *code, *data, *code_end;
    uint32_t n = 0;
    int e = lz16_segments(f, size, &code, &data);
    uint16_t *out = dst; /* the next pixel's place; NULL when only counting */
    if (e)
        return e;
    code_end = data;
    if (code == end)
        return 0; /* the empty image */
    for (;;) {
        unsigned lit;
        if (data == end)
            return LZ16_E_STRUCTURE;
        lit = LZ16_LITERAL(data);
        data += 2;
        if (out) {
            if (n >= capacity)
                return LZ16_E_CAPACITY;
            *out++ = LZ16_PIXEL(lit);
        }
        ++n;
        if (!(lit & LZ16_SWITCH_BIT))
            continue;
        if (code == code_end)
            return data == end ? (int32_t)n : LZ16_E_STRUCTURE;
        for (;;) {
            unsigned t, count, dist;
            if (code == code_end)
                return LZ16_E_STRUCTURE;
            t = LZ16_TOKEN(code);
            dist = LZ16_DIST(t);
            code += 2;
            count = LZ16_COUNT(t);
            if (count < 2 || dist == 0)
                return LZ16_E_TOKEN;
            if (dist > n)
                return LZ16_E_DISTANCE;
            if (out) {
                uint16_t *stop;
                if (capacity - n < count)
                    return LZ16_E_CAPACITY;
                stop = out + count;
                do {
                    *out = out[-(ptrdiff_t)dist];
                } while (++out != stop);
            }
            n += count;
            if (LZ16_SWITCHES(t))
                break;
        }
    }
}

int lz16_stream_init(struct lz16_stream *s, const void *file, size_t size)
{
    const uint8_t *f = (const uint8_t *)file;
    int e = lz16_segments(f, size, &s->code, &s->data);
    s->code_end = s->data;
    s->data_end = f + size;
    s->npix = 0;
    s->run = 0;
    s->dist = 0;
    s->in_code = 0;
    s->state = (int8_t)(e ? e : s->code == s->data_end); /* the empty image has ended */
    return e;
}

#define LZ16_WINDOW 2048u /* words in the stream's window: a power of two past the farthest distance */

/*
 * Reading and skipping: up to n pixels, each written into the window and,
 * unless out is NULL, to out as well. Whole tokens go as in lz16_decode,
 * with the state in locals, for as long as they fit before the window
 * wraps and before n; a code that does not fit, or whose source wraps,
 * is then copied a pixel at a time up to that point, and the rest of it
 * in the next stretch.
 */
static int32_t lz16_stream_take(struct lz16_stream *s, uint16_t *out, size_t n)
{
    uint16_t *const win = s->window;
    const uint8_t *code = s->code, *data = s->data;
    unsigned run = s->run, dist = s->dist;
    int in_code = s->in_code, e = s->state;
    size_t k = 0;
    if (e)
        return e < 0 ? e : 0;
#if SIZE_MAX > INT32_MAX
    if (n > INT32_MAX)
        n = INT32_MAX;
#endif
    while (k != n) {
        const unsigned at = (unsigned)s->npix & (LZ16_WINDOW - 1);
        uint16_t *w = win + at, *o = out ? out + k : w, *const start = w, *stop;
        size_t room = n - k;
        if (room > LZ16_WINDOW - at)
            room = LZ16_WINDOW - at;
        stop = w + room;
        if (run) { /* the rest of a code, a pixel at a time */
            unsigned from = (unsigned)(s->npix - dist);
            do {
                const uint16_t v = win[from++ & (LZ16_WINDOW - 1)];
                *o++ = v;
                *w++ = v;
            } while (--run && w != stop);
        } else {
            if (in_code)
                goto codes;
            for (;;) {
                unsigned lit;
                do {
                    uint16_t v;
                    if (w == stop) {
                        in_code = 0;
                        goto full;
                    }
                    if (data == s->data_end) {
                        e = LZ16_E_STRUCTURE;
                        goto full;
                    }
                    lit = LZ16_LITERAL(data);
                    data += 2;
                    v = LZ16_PIXEL(lit);
                    *o++ = v;
                    *w++ = v;
                } while (!(lit & LZ16_SWITCH_BIT));
                if (code == s->code_end) {
                    e = data == s->data_end ? 1 : LZ16_E_STRUCTURE; /* 1: the final literal */
                    goto full;
                }
            codes:
                for (;;) {
                    const uint16_t *src;
                    unsigned t, count;
                    if (code == s->code_end) {
                        e = LZ16_E_STRUCTURE;
                        goto full;
                    }
                    t = LZ16_TOKEN(code);
                    count = LZ16_COUNT(t);
                    dist = LZ16_DIST(t);
                    if (count < 2 || dist == 0) {
                        e = LZ16_E_TOKEN;
                        goto full;
                    }
                    code += 2;
                    /* Until the window first wraps, w - win counts every
                     * pixel so far; after that every distance is in reach. */
                    if (dist <= (size_t)(w - win)) {
                        src = w - dist;
                    } else if (s->npix >= LZ16_WINDOW) {
                        src = w + (LZ16_WINDOW - dist);
                        if (count > (size_t)(win + LZ16_WINDOW - src))
                            goto rest; /* the source wraps */
                    } else {
                        e = LZ16_E_DISTANCE;
                        goto full;
                    }
                    if (count > (size_t)(stop - w)) {
                    rest:
                        run = count; /* for the stretch after this one */
                        in_code = !LZ16_SWITCHES(t);
                        goto full;
                    }
                    do {
                        const uint16_t v = *src++;
                        *o++ = v;
                        *w++ = v;
                    } while (--count);
                    if (LZ16_SWITCHES(t))
                        break;
                }
            }
        }
    full:
        s->npix += (uint32_t)(w - start);
        k += (size_t)(w - start);
        if (e)
            break;
    }
    s->code = code;
    s->data = data;
    s->run = (uint16_t)run;
    s->dist = (uint16_t)dist;
    s->in_code = (int8_t)in_code;
    s->state = (int8_t)e;
    return e < 0 ? e : (int32_t)k;
}

int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n)
{
    return lz16_stream_take(s, out, n);
}

int32_t lz16_stream_skip(struct lz16_stream *s, size_t n)
{
    return lz16_stream_take(s, NULL, n);
}
