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
 *                         (a flash read in an Arduino build for AVR)
 *   LZ16DEC_FORMAT        the pixel order of the words given out
 *   LZ16DEC_SWAP_BYTES    each word with its two bytes swapped
 * Only literals are converted: codes copy words already given out.
 */
#include "lz16dec.h"

/* An Arduino build for AVR can pass no -D to a library, and there
 * lz16pack's arrays place themselves in flash (PROGMEM): read files in
 * memory from flash unless LZ16DEC_READ_BYTE says otherwise. */
#if !defined(LZ16DEC_READ_BYTE) && defined(ARDUINO) && defined(__AVR__)
#include <avr/pgmspace.h>
#define LZ16DEC_READ_BYTE(p) pgm_read_byte(p)
#endif

/* Bytes of a file in memory go through LZ16DEC_READ_BYTE; chunks read
 * through a callback are in RAM. Where the two reads differ, the stream's
 * loop is built twice, one for each (see lz16_take). */
#ifdef LZ16DEC_READ_BYTE
#define LZ16_FLASH_READS 1
#else
#define LZ16_FLASH_READS 0
#define LZ16DEC_READ_BYTE(p) (*(const uint8_t *)(p))
#endif
#define LZ16_B(p) ((unsigned)LZ16DEC_READ_BYTE(p))
#define LZ16_RAM_B(p) ((unsigned)*(const uint8_t *)(p))

#ifdef __GNUC__
#define LZ16_INLINE static inline __attribute__((always_inline))
#define LZ16_OUTLINE static __attribute__((noinline))
#else
#define LZ16_INLINE static inline
#define LZ16_OUTLINE static
#endif

#ifndef LZ16DEC_FORMAT
#define LZ16DEC_FORMAT LZ16DEC_RGB565
#endif

/* The word of two bytes, hi first. Big-endian CPUs load a token in one go
 * from the shift-and-or (the 68000 at even offsets), and AVR, with byte
 * registers, just places the two bytes. Elsewhere it is a sum: GCC would
 * turn the shift-and-or into a 16-bit big-endian load, and where loads must
 * be aligned back into two byte loads and a byte swap. */
#if (defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__) || defined(__AVR__)
#define LZ16_WORD_BY(B, hi, lo) (B(hi) << 8 | B(lo))
#else
#define LZ16_WORD_BY(B, hi, lo) (B(hi) * 256u + B(lo))
#endif
#define LZ16_WORD(hi, lo) LZ16_WORD_BY(LZ16_B, hi, lo)

/* A literal's two bytes as they lie, low byte first, as one word: in the
 * file's order or swapped, as asked for; the switch bit is bit 5 or 13. */
#if LZ16DEC_FORMAT == LZ16DEC_RGB565 && defined(LZ16DEC_SWAP_BYTES)
#define LZ16_LITERAL_BY(B, p) LZ16_WORD_BY(B, p, (p) + 1)
#define LZ16_SWITCH_BIT 0x2000u
#else
#define LZ16_LITERAL_BY(B, p) LZ16_WORD_BY(B, (p) + 1, p)
#define LZ16_SWITCH_BIT 0x20u
#endif
#define LZ16_LITERAL(p) LZ16_LITERAL_BY(LZ16_B, p)

/* A word with its bytes swapped where the configuration asks for it, or
 * back again. */
#ifdef LZ16DEC_SWAP_BYTES
#define LZ16_SWAP(w) ((w) >> 8 | ((w) & 0xFFu) << 8)
#else
#define LZ16_SWAP(w) (w)
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

/* A file's size as a uint32_t, every size past the largest file alike; and
 * counts of pixels asked for cut to what an int32_t result counts (LZ16_ALL:
 * a count that bounds nothing). */
#if SIZE_MAX > INT32_MAX
#define LZ16_SIZE32(n) ((uint32_t)((n) > LZ16_MAX_FILE ? LZ16_MAX_FILE + 1u : (n)))
#define LZ16_ALL ((size_t)INT32_MAX)
#define LZ16_CLAMP(n) ((n) > LZ16_ALL ? LZ16_ALL : (n))
#else
#define LZ16_SIZE32(n) ((uint32_t)(n))
#define LZ16_ALL SIZE_MAX
#define LZ16_CLAMP(n) (n)
#endif

/* A code token read as one big-endian word: CCCCSDDDDDDDDDDD. */
#define LZ16_TOKEN_BY(B, p) LZ16_WORD_BY(B, p, (p) + 1)
#define LZ16_TOKEN(p) LZ16_TOKEN_BY(LZ16_B, p)
#define LZ16_COUNT(t) ((t) >> 12)
#define LZ16_DIST(t) ((t) & 0x7FFu)
/* Whether a code token's switch bit is set, by the sign of the bit shifted
 * to the top of 16: a shift and a branch, with no constant to load. The
 * narrowing wraps, as every compiler for these CPUs defines it to. */
#define LZ16_SWITCHES(t) ((int16_t)((t) << 4) < 0)

/* Where the two segments of a file the lz16 tools wrote start, from its
 * header: nothing is checked. */
LZ16_INLINE const uint8_t *lz16_trusted(const uint8_t *f, const uint8_t **data)
{
    const uint8_t *code = f + 18;
    *data = code + LZ16_WORD(f + 16, f + 17);
    if (LZ16_B(f + 17) & 1) { /* the long form: the odd length is its flag, and 2 more bytes */
        *data += ((uint32_t)LZ16_B(f + 18) << 15 | (uint32_t)LZ16_B(f + 19) << 23) + 1;
        code += 2;
    }
    return code;
}

uint16_t *lz16_unpack(const void *file, uint16_t *dst)
{
    const uint8_t *data, *code = lz16_trusted((const uint8_t *)file, &data);
    const uint8_t *const code_end = data;
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

/* Checks the header of a file of size bytes whose first bytes (18, or 20
 * where it has them) are at f, in RAM if ram is set, and gives the length
 * of its code segment in *len. Returns where that segment starts, or a
 * negative LZ16_E_ code. */
#define LZ16_HB(p) (ram ? LZ16_RAM_B(p) : LZ16_B(p))
LZ16_INLINE int32_t lz16_head(const uint8_t *f, uint32_t size, uint32_t *len, int ram)
{
    static const char magic[] = "compress LZ\0\0\0\0"; /* and its terminator: 16 bytes */
    uint32_t head = 18, n;
    unsigned i;
    if (size < 18)
        return LZ16_E_HEADER;
    if (size > LZ16_MAX_FILE)
        return LZ16_E_TOO_LARGE;
    for (i = 0; i < 16; ++i)
        if (LZ16_HB(f + i) != (unsigned char)magic[i])
            return LZ16_E_HEADER;
    n = (uint32_t)LZ16_HB(f + 16) << 8 | (LZ16_HB(f + 17) & 0xFEu);
    if (LZ16_HB(f + 17) & 1) {
        if (size < 20 || (LZ16_HB(f + 18) & 1))
            return LZ16_E_LENGTH;
        n |= (uint32_t)LZ16_HB(f + 18) << 15 | (uint32_t)LZ16_HB(f + 19) << 23;
        if (n <= 0xFFFFu)
            return LZ16_E_LENGTH;
        head = 20;
    }
    if (n > size - head || ((size - head - n) & 1))
        return LZ16_E_LENGTH;
    *len = n;
    return (int32_t)head;
}
#undef LZ16_HB

/* Checks the header of the size bytes at f, in memory, and finds the two
 * segments: codes from *code to *data, literals from *data to the end. */
static int lz16_segments(const uint8_t *f, size_t size, const uint8_t **code, const uint8_t **data)
{
    uint32_t len = 0;
    const int32_t head = lz16_head(f, LZ16_SIZE32(size), &len, 0);
    if (head < 0)
        return (int)head;
    *code = f + head;
    *data = *code + len;
    return 0;
}

int32_t lz16_decode(const void *file, size_t size, uint16_t *dst, size_t capacity)
{
    const uint8_t *f = (const uint8_t *)file, *end;
    const uint8_t *code, *data, *code_end;
    uint32_t n = 0;
    int e = lz16_segments(f, size, &code, &data);
    uint16_t *out = dst; /* the next pixel's place; NULL when only counting */
    if (e)
        return e;
    end = f + size; /* (a file that passed has a header: never NULL + 0) */
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

/* A plane at its first pixel, its tokens from code to data to end. */
LZ16_INLINE void lz16_plane_start(struct lz16_state *p, const uint8_t *code, const uint8_t *data, const uint8_t *end)
{
    p->code = code;
    p->code_end = p->data = data;
    p->data_end = end;
    p->npix = 0;
    p->run = 0;
    p->dist = 0;
    p->in_code = 0;
    p->state = 0;
    p->read_at = NULL;
    p->ctx = NULL;
    p->chunks = NULL;
    p->code_at = p->code_stop = p->data_at = p->size = 0;
}

static int lz16_plane_init(struct lz16_state *p, const void *file, size_t size)
{
    const uint8_t *f = (const uint8_t *)file, *code = f, *data = f;
    const int e = lz16_segments(f, size, &code, &data);
    lz16_plane_start(p, code, data, e ? f : f + size); /* (no NULL + 0 for an empty file) */
    p->state = (int8_t)(e ? e : code == f + size); /* the empty image has ended */
    return e;
}

int lz16_stream_init(struct lz16_stream *s, const void *file, size_t size)
{
    return lz16_plane_init(&s->p, file, size);
}

/* A plane of a file read through a callback into chunks (2 * LZ16_CHUNK
 * bytes): its header now, its tokens when first taken. */
static int lz16_plane_open(struct lz16_state *p, uint8_t *chunks, lz16_read_at_fn read_at, void *ctx, uint32_t size)
{
    const uint32_t n = size < 20 ? size : 20;
    uint32_t len = 0;
    int32_t head = LZ16_E_READ;
    if (size < 18 || size > LZ16_MAX_FILE || read_at(ctx, 0, chunks, n) == (int32_t)n)
        head = lz16_head(chunks, size, &len, 1);
    lz16_plane_start(p, chunks, chunks + LZ16_CHUNK, chunks + LZ16_CHUNK); /* nothing at hand */
    p->code_end = chunks;
    p->read_at = read_at;
    p->ctx = ctx;
    p->chunks = chunks;
    if (head < 0)
        return p->state = (int8_t)head;
    p->code_at = (uint32_t)head;
    p->code_stop = p->data_at = (uint32_t)head + len;
    p->size = size;
    p->state = (int8_t)((uint32_t)head == size);
    return 0;
}

int lz16_stream_open(struct lz16_stream *s, lz16_read_at_fn read_at, void *ctx, uint32_t size)
{
    return lz16_plane_open(&s->p, s->chunks, read_at, ctx, size);
}

/* Reads the next chunk of the codes (literals 0) or the literals of a file
 * read through a callback. Returns 1, 0 at the segment's end (always, for
 * a file in memory), or LZ16_E_READ. */
static int lz16_fill(struct lz16_state *p, int literals)
{
    const uint32_t at = literals ? p->data_at : p->code_at;
    uint32_t n = (literals ? p->size : p->code_stop) - at;
    uint8_t *chunk;
    if (!n)
        return 0;
    chunk = p->chunks + (literals ? LZ16_CHUNK : 0); /* (none for a file in memory, whose n is 0) */
    if (n > LZ16_CHUNK)
        n = LZ16_CHUNK;
    if (p->read_at(p->ctx, at, chunk, n) != (int32_t)n)
        return LZ16_E_READ;
    if (literals) {
        p->data_at = at + n;
        p->data = chunk;
        p->data_end = chunk + n;
    } else {
        p->code_at = at + n;
        p->code = chunk;
        p->code_end = chunk + n;
    }
    return 1;
}

#define LZ16_WINDOW 2048u /* words in the stream's window: a power of two past the farthest distance */

/*
 * Reading and skipping: up to n pixels, each written into the window and,
 * unless out is NULL, to out as well. Whole tokens go as in lz16_decode,
 * with the state in locals, for as long as they fit before the window
 * wraps and before n; a code that does not fit, or whose source wraps,
 * is then copied a pixel at a time up to that point, and the rest of it
 * in the next stretch. Where a segment's tokens at hand run out (in
 * memory, at its end; through a callback, at a chunk's), the loops stop
 * with e one of these, and more is read; ram says the tokens are in RAM,
 * read with plain loads.
 */
#define LZ16_MORE_LITERALS 2 /* in the literals */
#define LZ16_MORE_OR_END 3   /* after a literal that switches: codes, or the image's end */
#define LZ16_MORE_CODES 4    /* in the codes */
#define LZ16_TB(p) (ram ? LZ16_RAM_B(p) : LZ16_B(p))
LZ16_INLINE int32_t lz16_take(struct lz16_state *s, uint16_t *out, size_t n, int ram)
{
    uint16_t *const win = s->window;
    const uint8_t *code = s->code, *data = s->data, *code_end = s->code_end, *data_end = s->data_end;
    unsigned run = s->run, dist = s->dist;
    int in_code = s->in_code, e = s->state;
    size_t k = 0;
    if (e)
        return e < 0 ? e : 0;
    n = LZ16_CLAMP(n);
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
                    if (data == data_end) {
                        in_code = 0;
                        e = LZ16_MORE_LITERALS;
                        goto full;
                    }
                    lit = LZ16_LITERAL_BY(LZ16_TB, data);
                    data += 2;
                    v = LZ16_PIXEL(lit);
                    *o++ = v;
                    *w++ = v;
                } while (!(lit & LZ16_SWITCH_BIT));
                if (code == code_end) {
                    e = LZ16_MORE_OR_END; /* or the final literal */
                    goto full;
                }
            codes:
                for (;;) {
                    const uint16_t *src;
                    unsigned t, count;
                    if (code == code_end) {
                        e = LZ16_MORE_CODES;
                        goto full;
                    }
                    t = LZ16_TOKEN_BY(LZ16_TB, code);
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
        if (e > 1) { /* the tokens at hand of a segment ran out: read more, out of the loops above */
            const int r = lz16_fill(s, e == LZ16_MORE_LITERALS);
            if (r > 0) {
                in_code = e != LZ16_MORE_LITERALS;
                if (in_code)
                    code = s->code, code_end = s->code_end;
                else
                    data = s->data, data_end = s->data_end;
                e = 0;
                continue;
            }
            e = r ? r : e == LZ16_MORE_OR_END && data == data_end && s->data_at == s->size ? 1 : LZ16_E_STRUCTURE;
        }
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

#undef LZ16_TB

static int32_t lz16_stream_take(struct lz16_state *s, uint16_t *out, size_t n)
{
#if LZ16_FLASH_READS
    if (!s->read_at)
        return lz16_take(s, out, n, 0);
#endif
    return lz16_take(s, out, n, 1);
}

int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n)
{
    return lz16_stream_take(&s->p, out, n);
}

int32_t lz16_stream_skip(struct lz16_stream *s, size_t n)
{
    return lz16_stream_take(&s->p, NULL, n);
}

/* ---- Images with alpha ------------------------------------------------ */

/* An alpha word's three levels, once the word is back in the CPU's byte
 * order (LZ16_SWAP), where the pixel order moved them with the channels (a
 * word's top bit is 0 in every order). */
#if LZ16DEC_FORMAT == LZ16DEC_RGB565
#define LZ16_LEVEL0(u) ((u) >> 11)
#define LZ16_LEVEL1(u) ((u) >> 6 & 31u)
#define LZ16_LEVEL2(u) ((u) & 31u)
#elif LZ16DEC_FORMAT == LZ16DEC_BGR565
#define LZ16_LEVEL0(u) ((u) & 31u)
#define LZ16_LEVEL1(u) ((u) >> 6 & 31u)
#define LZ16_LEVEL2(u) ((u) >> 11)
#elif LZ16DEC_FORMAT == LZ16DEC_RGB555
#define LZ16_LEVEL0(u) ((u) >> 10)
#define LZ16_LEVEL1(u) ((u) >> 5 & 31u)
#define LZ16_LEVEL2(u) ((u) & 31u)
#else
#define LZ16_LEVEL0(u) ((u) & 31u)
#define LZ16_LEVEL1(u) ((u) >> 5 & 31u)
#define LZ16_LEVEL2(u) ((u) >> 10)
#endif

/* The channels of a word spread over 32 bits, each with 5 free bits above
 * it for a factor of up to 32 (green, from the upper copy, on top), and a
 * half in each channel of such a product. */
#if LZ16DEC_FORMAT == LZ16DEC_RGB565 || LZ16DEC_FORMAT == LZ16DEC_BGR565
#define LZ16_SPREAD 0x07E0F81Fu
#define LZ16_HALF 0x02008010u
#else
#define LZ16_SPREAD 0x03E07C1Fu
#define LZ16_HALF 0x02004010u
#endif

/* The colour word fg over the background word bg at a level of 1 to 30. */
static uint16_t lz16_blend(unsigned bg, unsigned fg, unsigned level)
{
    const uint32_t a = level + (level >> 4); /* 1-31 to 1-32, nearest to level * 32 / 31 */
    uint32_t b = LZ16_SWAP(bg), f = LZ16_SWAP(fg), m;
    b = (b | b << 16) & LZ16_SPREAD;
    f = (f | f << 16) & LZ16_SPREAD;
    /* f * a + b * (32 - a) with one multiply: a field of f - b that borrows
     * from the one above is paid back by b * 32, as the whole sum is that */
    m = ((f - b) * a + (b << 5) + LZ16_HALF) >> 5 & LZ16_SPREAD;
    m = (m | m >> 16) & 0xFFFFu;
    return (uint16_t)LZ16_SWAP(m);
}

#define LZ16_ALPHA_MARK 0x1Cu /* the top field of an alpha plane's first word, plus its padding */
#define LZ16_AHEAD 512u       /* words of a plane decoded ahead at a time, well inside its window */

/* Starts a plane on a file the lz16 tools wrote, whose size is not known
 * (data_end NULL: it ends after the literal that follows its last code):
 * nothing is checked. */
static void lz16_plane_trusted(struct lz16_state *p, const uint8_t *f)
{
    const uint8_t *data, *code = lz16_trusted(f, &data);
    lz16_plane_start(p, code, data, NULL);
}

/* Decodes at least n more words of a trusted plane into its window, or up
 * to its end (state 1): whole tokens, as lz16_unpack does, stopping only
 * between them (at most a code's 15 words past n, far inside the window).
 * A code whose words and source lie within the window is copied between
 * pointers; the rest by the pixels' places in it. Each segment's loop
 * keeps only its own pointer at hand, for CPUs with eight registers. */
static void lz16_trusted_ahead(struct lz16_state *p, uint32_t n)
{
    uint16_t *const win = p->window;
    uint32_t i = p->npix;
    const uint32_t goal = i + n;
    while (i < goal) {
        if (!p->in_code) { /* literals */
            const uint8_t *data = p->data;
            unsigned lit;
            do {
                lit = LZ16_LITERAL(data);
                data += 2;
                win[i++ & (LZ16_WINDOW - 1)] = LZ16_PIXEL(lit);
            } while (!(lit & LZ16_SWITCH_BIT) && i != goal);
            p->data = data;
            if (lit & LZ16_SWITCH_BIT) {
                p->in_code = 1;
                if (p->code == p->code_end) { /* the last literal */
                    p->state = 1;
                    break;
                }
            }
        } else { /* codes */
            const uint8_t *code = p->code;
            unsigned t;
            do {
                const unsigned to = i & (LZ16_WINDOW - 1), from = (i - LZ16_DIST(t = LZ16_TOKEN(code))) & (LZ16_WINDOW - 1);
                unsigned count = LZ16_COUNT(t);
                code += 2;
                i += count;
                if ((to > from ? to : from) + count <= LZ16_WINDOW) {
                    uint16_t *w = win + to;
                    const uint16_t *src = win + from;
                    do
                        *w++ = *src++;
                    while (--count);
                } else { /* the words or the source wrap */
                    unsigned k;
                    for (k = 0; k < count; ++k)
                        win[(to + k) & (LZ16_WINDOW - 1)] = win[(from + k) & (LZ16_WINDOW - 1)];
                }
            } while (!LZ16_SWITCHES(t) && i < goal);
            p->code = code;
            if (LZ16_SWITCHES(t))
                p->in_code = 0;
        }
    }
    p->npix = i;
}

/* A word of the plane past the used ones, decoding more into its window
 * where none is left: 1 when there is one, 0 at the plane's end, else an
 * error. */
static int lz16_plane_more(struct lz16_state *p, uint32_t used)
{
    int32_t r;
    if (used != p->npix)
        return 1;
    if (!p->data_end) { /* a trusted plane, whose end is known only when there */
        if (p->state == 0)
            lz16_trusted_ahead(p, LZ16_AHEAD);
        return used != p->npix;
    }
    r = lz16_stream_take(p, NULL, LZ16_AHEAD);
    return r > 0 ? 1 : (int)r;
}

#define LZ16_CODED 0xA5u      /* the first byte of a coded alpha plane (an lz16 file's is 'c') */
#define LZ16_ONE_COLOUR 1u     /* its form: one colour plane word for every shown pixel */
#define LZ16_REPEATS 2u        /* its form: pixels that take the last shown pixel's word */
#define LZ16_MASK 3u           /* its form: a mask, with no colour plane */
#define LZ16_MASK_FORM 0x10u   /* set in s->form for a mask */
#define LZ16_SHOWN 0x40u       /* set in s->form once a pixel has shown */
#define LZ16_WORDS_FORM 0x80u  /* s->form of an alpha plane of level words */
#define LZ16_AGAIN 32u         /* a pixel's bit: the last shown pixel's word again */

/* The next byte of a coded alpha plane, from memory or from its chunk
 * (reading the next where it is used up): -1 past the plane's end, or
 * where the read fails (the plane's state then says so). */
static int lz16_coded_byte(struct lz16_state *a)
{
    const uint8_t *b;
    if (a->data == a->data_end) {
        uint32_t n = a->size - a->data_at;
        if (!a->read_at || !n)
            return -1;
        n = n < LZ16_CHUNK ? n : LZ16_CHUNK; /* what a callback is asked for at most */
        if (a->read_at(a->ctx, a->data_at, a->chunks, n) != (int32_t)n) {
            a->state = LZ16_E_READ;
            return -1;
        }
        a->data = a->chunks;
        a->data_end = a->chunks + n;
        a->data_at += n;
    }
    b = a->data++;
    return a->read_at ? (int)LZ16_RAM_B(b) : (int)LZ16_B(b);
}

/* A number of a coded alpha plane: LEB128 in at most 4 bytes, the last
 * of two or more not 0. Returns 0 or the error. */
static int lz16_coded_number(struct lz16_state *a, uint32_t *v)
{
    unsigned k;
    *v = 0;
    for (k = 0; k < 4; ++k) {
        const int b = lz16_coded_byte(a);
        if (b < 0)
            return a->state < 0 ? a->state : LZ16_E_STRUCTURE;
        *v |= (uint32_t)(b & 0x7F) << (7 * k);
        if (!(b & 0x80))
            return k && !b ? LZ16_E_TOKEN : 0;
    }
    return LZ16_E_TOKEN;
}

/* How a coded plane is started: its colour plane's size checked, trusted,
 * or a mask, drawn in the colour given. */
#define LZ16_CHECKED 0
#define LZ16_TRUSTED 1
#define LZ16_AS_MASK 2

/* Starts a coded alpha plane set up as alpha's bytes: its form, pixels
 * and the colour plane's size, which must be colour_size when checked; a
 * mask has neither colour plane nor size, and colour_size is its colour. */
static int lz16_coded_start(struct lz16_blend_stream *s, size_t colour_size, int how)
{
    uint32_t size = 0;
    int form, e;
    s->colour_used = s->alpha_used = s->left = 0;
    s->at = s->end = 0;
    s->last = s->from = 0;
    s->sym = 0;
    form = lz16_coded_byte(&s->alpha) == (int)LZ16_CODED ? lz16_coded_byte(&s->alpha) : -1;
    e = form < 0 || (form == (int)LZ16_MASK) != (how == LZ16_AS_MASK) || form > (int)LZ16_MASK
            ? LZ16_E_HEADER
            : lz16_coded_number(&s->alpha, &s->npix);
    if (!e)
        e = s->npix - 1u >= LZ16_MAX_FILE ? LZ16_E_HEADER : how == LZ16_AS_MASK ? 0 : lz16_coded_number(&s->alpha, &size);
    if (!e && how == LZ16_CHECKED && size != colour_size)
        e = LZ16_E_PLANES;
    if (s->alpha.state < 0)
        e = s->alpha.state;
    s->form = (uint8_t)form;
    if (!e && how == LZ16_AS_MASK) { /* one colour, that of no plane: the stream's colour plane stays unread */
        s->form = LZ16_ONE_COLOUR | LZ16_MASK_FORM;
        s->last = (uint16_t)colour_size;
        s->colour_used = s->colour.npix = 1;
        s->colour.state = 1;
        s->colour.data_end = NULL;
    } else if (!e && form == (int)LZ16_ONE_COLOUR) { /* its one word, taken now: every shown pixel's */
        e = lz16_plane_more(&s->colour, 0);
        e = e < 0 ? e : e ? 0 : LZ16_E_PLANES;
        s->last = s->colour.window[0];
        s->colour_used = 1;
    }
    return s->state = (int8_t)e;
}

/* After the planes' streams are set up: takes the alpha plane's first word
 * and, unless the planes are trusted, checks that it is the colour plane's. */
static int lz16_blend_start(struct lz16_blend_stream *s, size_t colour_size, int trusted)
{
    unsigned first;
    int e = lz16_plane_more(&s->alpha, 0);
    s->colour_used = 0;
    s->alpha_used = 1;
    s->at = s->end = 0;
    s->last = 0;
    s->form = LZ16_WORDS_FORM;
    if (e <= 0)
        return s->state = (int8_t)(e ? e : LZ16_E_PLANES);
    first = s->alpha.window[0];
    first = LZ16_SWAP(first);
    s->padding = (uint8_t)(LZ16_LEVEL0(first) - LZ16_ALPHA_MARK);
    e = s->padding > 2 || (s->alpha.state == 1 && s->alpha.npix == 1) || /* no level at all */
                (!trusted && (LZ16_LEVEL1(first) << 5 | LZ16_LEVEL2(first)) != (colour_size & 0x3FFu))
            ? LZ16_E_PLANES
            : 0;
    return s->state = (int8_t)e;
}

int lz16_blend_init(struct lz16_blend_stream *s, const void *colour, size_t colour_size, const void *alpha,
                    size_t alpha_size)
{
    const uint8_t *const a = (const uint8_t *)alpha;
    const int coded = alpha_size && LZ16_B(a) == LZ16_CODED;
    int e = lz16_plane_init(&s->colour, colour, colour_size);
    if (!e && coded)
        lz16_plane_start(&s->alpha, a, a, a + alpha_size);
    else if (!e)
        e = lz16_plane_init(&s->alpha, alpha, alpha_size);
    if (e)
        return s->state = (int8_t)e;
    return coded ? lz16_coded_start(s, colour_size, LZ16_CHECKED) : lz16_blend_start(s, colour_size, 0);
}

int lz16_blend_open(struct lz16_blend_file *f, lz16_read_at_fn read_at, void *colour_ctx, uint32_t colour_size,
                    void *alpha_ctx, uint32_t alpha_size)
{
    struct lz16_blend_stream *const s = &f->blend;
    uint8_t *const chunk = f->chunks + 2 * LZ16_CHUNK;
    int e = lz16_plane_open(&s->colour, f->chunks, read_at, colour_ctx, colour_size), coded = 0;
    if (!e && alpha_size && alpha_size <= LZ16_MAX_FILE && read_at(alpha_ctx, 0, chunk, 1) == 1)
        coded = *chunk == LZ16_CODED;
    if (!e && coded) { /* its bytes a chunk at a time, none at hand yet */
        lz16_plane_start(&s->alpha, chunk, chunk, chunk);
        s->alpha.read_at = read_at;
        s->alpha.ctx = alpha_ctx;
        s->alpha.chunks = chunk;
        s->alpha.size = alpha_size;
    } else if (!e) {
        e = lz16_plane_open(&s->alpha, chunk, read_at, alpha_ctx, alpha_size);
    }
    if (e)
        return s->state = (int8_t)e;
    return coded ? lz16_coded_start(s, colour_size, LZ16_CHECKED) : lz16_blend_start(s, colour_size, 0);
}

/* After the last pixel: ended (1) when the colour plane ended with the
 * last visible pixel (as a trusted one does), else the error. */
static int lz16_blend_end(struct lz16_blend_stream *s)
{
    const uint32_t used = s->colour_used;
    const int e = !s->colour.data_end ? 0 : used != s->colour.npix ? 1 : lz16_plane_more(&s->colour, used);
    return e < 0 ? e : e ? LZ16_E_PLANES : 1;
}

#define LZ16_LEVEL_WORDS 21u /* alpha words taken at a time: the levels of struct lz16_blend_stream */

/* The sizes lz16dec.h gives the window and the levels, checked. */
typedef char lz16_window_size_checked[sizeof(((struct lz16_state *)0)->window) == 2 * LZ16_WINDOW ? 1 : -1];
typedef char lz16_level_size_checked[sizeof(((struct lz16_blend_stream *)0)->level) == 3 * LZ16_LEVEL_WORDS ? 1 : -1];

/* The next token of a coded alpha plane into s->left, s->from, s->sym
 * (as drawn), whose pixels are checked here (a copy's were when first
 * given; the literals at hand come straight from lz16_coded_take).
 * Returns 0 or the error. */
static int lz16_coded_token(struct lz16_blend_stream *s)
{
    struct lz16_state *const a = &s->alpha;
    const int t = lz16_coded_byte(a);
    const unsigned bits = t >= 0xC0 ? 5 : 6, full = (1u << bits) - 1;
    uint32_t extra = 0, from = 0;
    int e = 0;
    if (t < 0)
        return a->state < 0 ? a->state : LZ16_E_STRUCTURE;
    s->from = 0;
    if (t < 0x40) { /* a literal: read here where it starts a chunk, else one the plane may not have */
        if (t == (int)LZ16_AGAIN || (t > (int)LZ16_AGAIN && (s->form & (LZ16_REPEATS | LZ16_SHOWN)) != (LZ16_REPEATS | LZ16_SHOWN)))
            return LZ16_E_TOKEN; /* 32, or a repeat where there is no shown word (or no repeats) */
        s->left = 1;
        s->sym = (uint8_t)(t | (t && (s->form & (LZ16_ONE_COLOUR | LZ16_MASK_FORM)) ? LZ16_AGAIN : 0));
        return 0;
    }
    if ((t & full) == full && (e = lz16_coded_number(a, &extra)) != 0)
        return e;
    s->left = (t & full) + extra + (t >= 0x80 && t < 0xC0 ? 3 : 1);
    if (s->left > s->npix - s->alpha_used)
        return LZ16_E_STRUCTURE;
    if (t >= 0xC0) /* a run of 0 or 31, as drawn */
        s->sym = (uint8_t)(t >= 0xE0 ? 31u | (s->form & (LZ16_ONE_COLOUR | LZ16_MASK_FORM) ? LZ16_AGAIN : 0) : 0);
    else if (t < 0x80) /* the last pixel's again */
        s->sym = s->alpha_used ? ((const uint8_t *)a->window)[(s->alpha_used - 1) & (LZ16_WINDOW - 1)] : 0;
    else if ((e = lz16_coded_number(a, &from)) == 0 && (!from || from > LZ16_WINDOW || from > s->alpha_used))
        e = LZ16_E_DISTANCE;
    s->from = (uint16_t)(t >= 0x80 && t < 0xC0 ? from : 0);
    return e;
}

/* Drawing a coded alpha plane: its tokens are spread into the window, a
 * byte a pixel (a symbol as drawn: with one colour, every shown pixel's
 * marked LZ16_AGAIN), and each token's pixels drawn from there, a run's
 * without looking at them. Tokens are read here where their bytes are at
 * hand and short (counts and distances of one byte), else by
 * lz16_coded_token. A round takes at most LZ16_STRETCH pixels, stops short
 * of either window's end (so that neither pointer wraps) and has a colour
 * word decoded ahead for each (until a pixel shows, a trusted colour plane
 * is not read: it may be empty, which cannot be told). Reads up to n
 * pixels as lz16_blend_take does. */
/* Fills the window's bytes [w, end) with the symbol v, two at a time
 * through the window's own words where there are many, and returns end. */
LZ16_INLINE uint8_t *lz16_fill_symbols(uint8_t *w, uint8_t *const end, unsigned v)
{
    if (end - w >= 8) {
        const uint16_t two = (uint16_t)(v * 0x101u);
        uint16_t *h;
        if ((uintptr_t)w & 1)
            *w++ = (uint8_t)v;
        for (h = (uint16_t *)(void *)w; end - (uint8_t *)h >= 8; h += 4)
            h[0] = h[1] = h[2] = h[3] = two;
        w = (uint8_t *)h;
    }
    while (w != end)
        *w++ = (uint8_t)v;
    return w;
}

#define LZ16_STRETCH 256u
typedef char lz16_round_checked[LZ16_AHEAD >= LZ16_STRETCH ? 1 : -1];
#define LZ16_TB(p) (ram ? LZ16_RAM_B(p) : LZ16_B(p))
/* The last shown pixel's word: the last taken in this round, else the
 * last before it. */
#define LZ16_LAST (c != c0 ? c[-1] : last)
/* A pixel of symbol v (as drawn) over *d, taking the next colour word
 * from c unless it shows the last one again; an opaque pixel of its own
 * word first, as most are. */
#define LZ16_SHOW(v, d)                                                                                              \
    do {                                                                                                             \
        const unsigned v_ = (v);                                                                                     \
        if (v_ == 31u) {                                                                                             \
            *(d) = *c++;                                                                                             \
        } else if (v_ & 31u) {                                                                                       \
            const unsigned f_ = v_ & LZ16_AGAIN ? LZ16_LAST : *c++;                                                  \
            *(d) = (uint16_t)((v_ & 31u) == 31u ? f_ : lz16_blend(*(d), f_, v_ & 31u));                              \
        }                                                                                                            \
    } while (0)
LZ16_OUTLINE int32_t lz16_coded_take(struct lz16_blend_stream *s, uint16_t *dst, uint8_t *alpha8, size_t n)
{
    struct lz16_state *const a = &s->alpha;
    uint8_t *const win = (uint8_t *)a->window;
    const uint16_t *const cwin = s->colour.window;
    const int ram = a->read_at != NULL;
    const unsigned again = s->form & (LZ16_ONE_COLOUR | LZ16_MASK_FORM) ? LZ16_AGAIN : 0;
    /* literals below top are good (but LZ16_AGAIN): 33-63 too, once a pixel has shown, with repeats */
    const unsigned repeats_top = s->form & LZ16_REPEATS ? 0x40 : LZ16_AGAIN;
    unsigned shown = s->form & LZ16_SHOWN, top = shown ? repeats_top : LZ16_AGAIN, last = s->last;
    unsigned from = s->from, sym = s->sym;
    uint32_t at = s->alpha_used, used = s->colour_used, left = s->left;
    size_t k = 0;
    int e = s->state;
    if (e)
        return e < 0 ? e : 0;
    n = LZ16_CLAMP(n);
    while (k < n) {
        uint8_t *const w0 = win + (at & (LZ16_WINDOW - 1));
        uint8_t *w = w0, *stop;
        const uint16_t *c, *c0;
        uint32_t room = n - k < LZ16_STRETCH ? (uint32_t)(n - k) : LZ16_STRETCH;
        if (at == s->npix) { /* nothing may follow (a trusted plane's end is not known) */
            s->colour_used = used;
            if ((s->form & (LZ16_ONE_COLOUR | LZ16_MASK_FORM)) == LZ16_ONE_COLOUR && !shown)
                e = LZ16_E_PLANES; /* one colour, and no pixel shows it (a mask may show none) */
            else if (a->data_end && (a->data != a->data_end || a->data_at != a->size))
                e = LZ16_E_STRUCTURE;
            else
                e = lz16_blend_end(s);
            break;
        }
        if (!left) { /* a token that is not a literal at hand, read whole */
            const uint8_t *const b = a->data;
            const unsigned t = b == a->data_end ? 0xFF : LZ16_TB(b);
            if (t >= top || t == LZ16_AGAIN) {
                s->alpha_used = at;
                s->form |= (uint8_t)shown;
                if ((e = lz16_coded_token(s)) != 0)
                    break;
                left = s->left, from = s->from, sym = s->sym;
                continue;
            }
        }
        if (room > LZ16_WINDOW - (at & (LZ16_WINDOW - 1)))
            room = LZ16_WINDOW - (at & (LZ16_WINDOW - 1));
        if (room > s->npix - at)
            room = s->npix - at;
        if (!again && s->colour.npix - used < room && s->colour.state == 0) {
            if (!shown && left && (from || !(sym & 31u))) {
                room = room < left ? room : left; /* transparent, as everything is until a pixel shows */
            } else if (!shown && !left && !LZ16_TB(a->data)) {
                room = 1;
            } else {
                /* LZ16_AHEAD words more, at least a round's, unless the plane ends */
                const int r = lz16_plane_more(&s->colour, s->colour.npix);
                if (r < 0) {
                    e = r;
                    break;
                }
            }
        }
        if (!again && room > LZ16_WINDOW - (used & (LZ16_WINDOW - 1)))
            room = LZ16_WINDOW - (used & (LZ16_WINDOW - 1));
        stop = w0 + room;
        c = c0 = cwin + (used & (LZ16_WINDOW - 1));
        do {
            uint8_t *const wt = w; /* where this token's pixels start */
            uint32_t m;
            if (!left) {
                const uint8_t *b = a->data, *const b_end = a->data_end;
                const uint32_t here = at + (uint32_t)(w - w0);
                unsigned t;
                if (b == b_end)
                    break; /* (the next round reads on) */
                t = LZ16_TB(b);
                if (t < top && t != LZ16_AGAIN) { /* literals, as many as come (drawn as they come) */
                    uint32_t most = (uint32_t)(stop - w);
                    if (b_end && most > (uint32_t)(b_end - b))
                        most = (uint32_t)(b_end - b);
                    if (dst && !alpha8) {
                        uint16_t *d = dst + k + (w - w0);
                        do {
                            ++b;
                            if (t) {
                                shown = LZ16_SHOWN;
                                top = repeats_top;
                                t |= again;
                            }
                            *w++ = (uint8_t)t;
                            LZ16_SHOW(t, d);
                            ++d;
                        } while (--most && (t = LZ16_TB(b)) < top && t != LZ16_AGAIN);
                        a->data = b;
                        continue;
                    }
                    do {
                        ++b;
                        if (t) {
                            shown = LZ16_SHOWN;
                            top = repeats_top;
                            t |= again;
                        }
                        *w++ = (uint8_t)t;
                    } while (--most && (t = LZ16_TB(b)) < top && t != LZ16_AGAIN);
                    a->data = b;
                    goto draw;
                }
                if (t < 0x40 || (t >= 0xC0 ? (t & 31u) == 31u : (t & 63u) == 63u) ||
                    (t < 0xC0 && t >= 0x80 && (b + 1 == b_end || LZ16_TB(b + 1) >= 0x80)))
                    break; /* a literal not good here, or a count or a distance of more than a
                            * byte: lz16_coded_token's */
                if (t >= 0xC0) {
                    left = (t & 31u) + 1;
                    sym = t >= 0xE0 ? 31u | again : 0;
                    from = 0;
                } else if (t < 0x80) {
                    left = (t & 63u) + 1;
                    sym = here ? win[(here - 1) & (LZ16_WINDOW - 1)] : 0;
                    from = 0;
                } else {
                    left = (t & 63u) + 3;
                    from = LZ16_TB(b + 1);
                    ++b;
                    if (!from || from > here) {
                        e = LZ16_E_DISTANCE;
                        break;
                    }
                }
                a->data = b + 1;
                if (left > s->npix - here) {
                    e = LZ16_E_STRUCTURE;
                    break;
                }
            }
            m = (uint32_t)(stop - w) < left ? (uint32_t)(stop - w) : left;
            if (from) {
                const uint8_t *f = win + ((at + (uint32_t)(w - w0) - from) & (LZ16_WINDOW - 1));
                uint8_t *end;
                if (m > (uint32_t)(win + LZ16_WINDOW - f)) /* the source wraps: the rest after it */
                    m = (uint32_t)(win + LZ16_WINDOW - f);
                left -= m;
                end = w + m;
                if (dst && !alpha8) { /* drawn as it is copied */
                    uint16_t *d = dst + k + (w - w0);
                    if (again) { /* one colour, every shown pixel's */
                        do {
                            const unsigned v = *f++, level = v & 31u;
                            *w++ = (uint8_t)v;
                            if (level)
                                *d = (uint16_t)(level == 31u ? last : lz16_blend(*d, last, level));
                            ++d;
                        } while (w != end);
                        continue;
                    }
                    do {
                        const unsigned v = *f++;
                        *w++ = (uint8_t)v;
                        LZ16_SHOW(v, d);
                        ++d;
                    } while (w != end);
                    continue;
                }
                do
                    *w++ = *f++;
                while (w != end);
            } else {
                left -= m;
                w = lz16_fill_symbols(w, w + m, sym);
                if (sym) {
                    shown = LZ16_SHOWN;
                    top = repeats_top;
                }
                if (dst && !alpha8) { /* a run, drawn whole */
                    uint16_t *d = dst + k + (wt - w0);
                    const uint16_t *const d_end = d + m;
                    if (sym == 31u) {
                        do
                            *d++ = *c++;
                        while (d != d_end);
                    } else if ((sym & 31u) == 31u) {
                        const uint16_t f = LZ16_LAST;
                        do
                            *d++ = f;
                        while (d != d_end);
                    } else if (sym & LZ16_AGAIN) {
                        const unsigned f = LZ16_LAST;
                        do
                            *d = lz16_blend(*d, f, sym & 31u);
                        while (++d != d_end);
                    } else if (sym) {
                        do
                            *d = lz16_blend(*d, *c++, sym);
                        while (++d != d_end);
                    }
                    continue;
                }
            }
        draw: /* the token's pixels, from the window */
            {
                const uint8_t *p = wt;
                if (alpha8) {
                    size_t j = k + (size_t)(wt - w0);
                    for (; p != w; ++p, ++j) {
                        const unsigned v = *p, level = v & 31u;
                        if (level && !(v & LZ16_AGAIN))
                            ++c;
                        if (dst)
                            dst[j] = (uint16_t)(level ? LZ16_LAST : 0);
                        alpha8[j] = (uint8_t)(level << 3 | level >> 2);
                    }
                } else { /* passed over (drawing over dst drew each token as it came) */
                    do {
                        const unsigned v = *p++;
                        if ((v & 31u) && !(v & LZ16_AGAIN))
                            ++c;
                    } while (p != w);
                }
            }
        } while (w != stop);
        at += (uint32_t)(w - w0);
        k += (size_t)(w - w0);
        last = LZ16_LAST;
        used += (uint32_t)(c - c0);
        if (used > s->colour.npix) { /* fewer colour pixels than visible ones: what was drawn of them is stale */
            e = LZ16_E_PLANES;
            break;
        }
        if (e)
            break;
    }
    s->alpha_used = at;
    s->colour_used = used;
    s->left = left;
    s->from = (uint16_t)from;
    s->sym = (uint8_t)sym;
    s->last = (uint16_t)last;
    s->form |= (uint8_t)shown;
    if (e < 0 || (e == 1 && !k))
        s->state = (int8_t)e;
    return s->state < 0 ? s->state : (int32_t)k;
}
#undef LZ16_TB
#undef LZ16_LAST
#undef LZ16_SHOW

/* The next alpha words' levels into s->level. Returns 1, 0 past the last
 * pixel, or an error; *shown is not 0 where a level is. */
static int lz16_word_levels(struct lz16_blend_stream *s, unsigned *shown)
{
    const uint16_t *const awin = s->alpha.window;
    uint32_t taken = s->alpha_used, words;
    unsigned k;
    uint8_t *l = s->level;
    int e = lz16_plane_more(&s->alpha, taken);
    if (e <= 0)
        return e;
    words = s->alpha.npix - taken;
    if (words > LZ16_LEVEL_WORDS)
        words = LZ16_LEVEL_WORDS;
    for (k = 0; k < words; ++k, l += 3) {
        unsigned w = awin[taken++ & (LZ16_WINDOW - 1)];
        w = LZ16_SWAP(w);
        l[0] = (uint8_t)LZ16_LEVEL0(w);
        l[1] = (uint8_t)LZ16_LEVEL1(w);
        l[2] = (uint8_t)LZ16_LEVEL2(w);
        *shown |= w;
    }
    s->alpha_used = taken;
    s->at = 0;
    s->end = (uint8_t)(3 * words);
    if (taken == s->alpha.npix && s->alpha.state == 1) { /* the last word, and its padding */
        s->end = (uint8_t)(s->end - s->padding);
        for (k = s->end; k < 3 * words; ++k)
            if (s->level[k])
                return LZ16_E_PLANES;
    }
    return 1;
}

/* Takes the next levels into s->level from alpha words, and where any
 * shows, decodes as many colour words ahead.
 * Returns 1, 0 past the last pixel, or an error. */
static int lz16_blend_levels(struct lz16_blend_stream *s)
{
    unsigned shown = 0;
    int e = lz16_word_levels(s, &shown);
    if (e <= 0)
        return e;
    /* Colour words for every level taken; a trusted colour plane is read
     * only where some pixel shows, for an image with none has none. */
    while (shown && s->colour.npix - s->colour_used < 3 * LZ16_LEVEL_WORDS && s->colour.state == 0)
        if ((e = lz16_plane_more(&s->colour, s->colour.npix)) < 0)
            return e;
    return 1;
}

/* Reading, skipping and reading apart: up to n pixels, blended over dst, or
 * with dst NULL only passed over, or with alpha8 given, written out apart.
 * The levels come a few words at a time, with their colour words decoded
 * ahead into the colour plane's window, so that the pixels are drawn from
 * there without a check; a colour plane that runs short shows after them.
 * The end shows when a pixel past the last one is asked for. */
static int32_t lz16_blend_take(struct lz16_blend_stream *s, uint16_t *dst, uint8_t *alpha8, size_t n)
{
    const uint16_t *const cwin = s->colour.window;
    int e = s->state;
    size_t k = 0;
    if (!(s->form & LZ16_WORDS_FORM))
        return lz16_coded_take(s, dst, alpha8, n);
    if (e)
        return e < 0 ? e : 0;
    n = LZ16_CLAMP(n);
    while (k < n) {
        const uint8_t *l = s->level + s->at, *stop;
        uint32_t used = s->colour_used;
        unsigned last = s->last;
        if (s->at == s->end && (e = lz16_blend_levels(s)) <= 0) {
            if (!e) /* past the last pixel */
                e = lz16_blend_end(s);
            break;
        }
        l = s->level + s->at;
        stop = n - k < (size_t)(s->end - s->at) ? l + (n - k) : s->level + s->end;
        /* a pixel with a level takes the next colour word, or with
         * LZ16_AGAIN the last one again */
        if (alpha8) { /* (dst NULL for the alpha alone) */
            for (; l != stop; ++l, ++k) {
                const unsigned level = *l & 31u;
                if (level && !(*l & LZ16_AGAIN))
                    last = cwin[used++ & (LZ16_WINDOW - 1)];
                if (dst)
                    dst[k] = (uint16_t)(level ? last : 0);
                alpha8[k] = (uint8_t)(level << 3 | level >> 2);
            }
        } else if (dst) {
            /* a round stops short of the window's end, so that c need not wrap */
            const uint16_t *const from = cwin + (used & (LZ16_WINDOW - 1)), *c = from;
            uint16_t *d = dst + k;
            if (stop - l > cwin + LZ16_WINDOW - from)
                stop = l + (cwin + LZ16_WINDOW - from);
            k += (size_t)(stop - l);
            do {
                const unsigned sym = *l++, level = sym & 31u;
                if (level) {
                    if (!(sym & LZ16_AGAIN))
                        last = *c++;
                    *d = (uint16_t)(level == 31 ? last : lz16_blend(*d, last, level));
                }
                ++d;
            } while (l != stop);
            used += (uint32_t)(c - from);
        } else {
            k += (size_t)(stop - l);
            for (; l != stop; ++l)
                if ((*l & 31u) && !(*l & LZ16_AGAIN))
                    last = cwin[used++ & (LZ16_WINDOW - 1)];
        }
        s->at = (uint8_t)(l - s->level);
        s->colour_used = used;
        s->last = (uint16_t)last;
        if (used > s->colour.npix) { /* fewer colour pixels than visible ones: what was drawn of them is stale */
            e = LZ16_E_PLANES;
            break;
        }
    }
    if (e < 0 || (e == 1 && !k))
        s->state = (int8_t)e;
    return s->state < 0 ? s->state : (int32_t)k;
}

int32_t lz16_blend_read(struct lz16_blend_stream *s, uint16_t *dst, size_t n)
{
    return lz16_blend_take(s, dst, NULL, n);
}

int32_t lz16_blend_skip(struct lz16_blend_stream *s, size_t n)
{
    return lz16_blend_take(s, NULL, NULL, n);
}

int32_t lz16_blend_read_alpha(struct lz16_blend_stream *s, uint16_t *colour, uint8_t *alpha, size_t n)
{
    return lz16_blend_take(s, colour, alpha, n);
}

/* The whole image: reads up to capacity pixels, then asks for one more,
 * which must find the end. */
static int32_t lz16_blend_all(struct lz16_blend_stream *s, uint16_t *dst, size_t capacity)
{
    int32_t n = lz16_blend_take(s, dst, NULL, capacity), end;
    if (n < 0)
        return n;
    end = lz16_blend_take(s, NULL, NULL, 1);
    return end < 0 ? end : end ? LZ16_E_CAPACITY : n;
}

int32_t lz16_decode_blend(const void *colour, size_t colour_size, const void *alpha, size_t alpha_size,
                          uint16_t *dst, size_t capacity)
{
    struct lz16_blend_stream s;
    const int e = lz16_blend_init(&s, colour, colour_size, alpha, alpha_size);
    return e ? e : lz16_blend_all(&s, dst, dst ? capacity : LZ16_ALL);
}

uint16_t *lz16_unpack_blend(const void *colour, const void *alpha, uint16_t *dst)
{
    struct lz16_blend_stream s;
    const uint8_t *const a = (const uint8_t *)alpha;
    int32_t n;
    lz16_plane_trusted(&s.colour, (const uint8_t *)colour);
    if (LZ16_B(a) == LZ16_CODED) {
        lz16_plane_start(&s.alpha, a, a, NULL); /* its end is not known */
        n = lz16_coded_start(&s, 0, LZ16_TRUSTED);
    } else {
        lz16_plane_trusted(&s.alpha, a);
        n = lz16_blend_start(&s, 0, 1);
    }
    n = n ? 0 : lz16_blend_all(&s, dst, LZ16_ALL);
    return dst + (n > 0 ? n : 0);
}

/* ---- Masks ------------------------------------------------------------ */

int lz16_mask_init(struct lz16_blend_stream *s, const void *mask, size_t size, uint16_t colour)
{
    const uint8_t *const m = (const uint8_t *)mask;
    lz16_plane_start(&s->alpha, m, m, size ? m + size : m);
    return lz16_coded_start(s, colour, LZ16_AS_MASK);
}

int lz16_mask_open(struct lz16_blend_file *f, lz16_read_at_fn read_at, void *ctx, uint32_t size, uint16_t colour)
{
    struct lz16_blend_stream *const s = &f->blend;
    lz16_plane_start(&s->alpha, f->chunks, f->chunks, f->chunks); /* its bytes a chunk at a time, none at hand yet */
    s->alpha.read_at = read_at;
    s->alpha.ctx = ctx;
    s->alpha.chunks = f->chunks;
    s->alpha.size = size > LZ16_MAX_FILE ? 0 : size;
    return lz16_coded_start(s, colour, LZ16_AS_MASK);
}

int32_t lz16_decode_mask(const void *mask, size_t size, uint16_t colour, uint16_t *dst, size_t capacity)
{
    struct lz16_blend_stream s;
    int32_t n = lz16_mask_init(&s, mask, size, colour), end;
    if (n) /* (as lz16_blend_all, without what only planes of level words need) */
        return n;
    n = lz16_coded_take(&s, dst, NULL, dst ? capacity : LZ16_ALL);
    end = n < 0 ? n : lz16_coded_take(&s, NULL, NULL, 1);
    return end < 0 ? end : end ? LZ16_E_CAPACITY : n;
}

/* ---- Drawing in bands ------------------------------------------------- */

/* Passes over a stream (plain, or blend for an image with alpha) from pixel
 * *at to pixel to, then reads up to n pixels into row (drawn over it, with
 * alpha). Returns the pixels read (fewer at the image's end) or an error. */
LZ16_INLINE int32_t lz16_row(struct lz16_stream *plain, struct lz16_blend_stream *blend, uint32_t *at, uint32_t to,
                             uint16_t *row, uint32_t n)
{
    int32_t r;
    if (to != *at) {
        r = blend ? lz16_blend_skip(blend, to - *at) : lz16_stream_skip(plain, to - *at);
        if (r < 0)
            return r;
        *at += (uint32_t)r;
        if (*at != to)
            return 0;
    }
    r = blend ? lz16_blend_read(blend, row, n) : lz16_stream_read(plain, row, n);
    if (r > 0)
        *at += (uint32_t)r;
    return r;
}

/* The band loop of every lz16_draw form: the window (x, y, w, h) of a
 * plain stream, or of one with alpha over its backdrop. Where the window's
 * rows lie together in the image, a band is read in one go. */
LZ16_INLINE int32_t lz16_bands(struct lz16_stream *plain, struct lz16_blend_stream *blend,
                                const struct lz16_backdrop *under, uint32_t width, uint32_t x, uint32_t y, uint32_t w,
                                uint32_t h, uint16_t *buf, uint32_t buf_words, lz16_push_fn push, void *ctx)
{
    uint32_t rows = 0, span, at = 0, under_at = 0, done = 0;
    uint16_t *band = buf, *second;
    if (!w || x + w > width ||
        (blend && under && under->image && (uint32_t)under->x + x + w > under->width))
        return LZ16_E_WIDTH;
    if (h > 0x10000u - y)
        h = 0x10000u - y; /* rows a push can name */
    /* the rows a half holds, up to h (counted: many CPUs have no divide) */
    while (rows < h && (rows + 1) * w <= buf_words / 2)
        ++rows;
    if (!rows)
        return h ? LZ16_E_CAPACITY : 0;
    span = !blend && w == width ? rows * w : w;
    /* the second half right after the first's rows, at an even word where there is room: as aligned as buf */
    second = buf + rows * w + (2 * rows * w < buf_words ? rows * w % 2 : 0);
    while (done < h) {
        const uint32_t n = h - done < rows ? h - done : rows;
        uint32_t r = 0;
        int32_t e = 0, want = 0;
        while (r < n) {
            uint16_t *const row = band + r * w;
            want = (int32_t)(span < (n - r) * w ? span : (n - r) * w);
            if (blend) {
                uint32_t k;
                if (under && under->image) {
                    const uint32_t to = (under->y + y + done + r) * under->width + under->x + x;
                    if (lz16_row(under->image, NULL, &under_at, to, row, w) != (int32_t)w) {
                        e = LZ16_E_WIDTH; /* the backdrop ends short (its own error shows on a later call) */
                        break;
                    }
                } else {
                    for (k = 0; k < w; ++k)
                        row[k] = under ? under->colour : 0;
                }
            }
            e = lz16_row(plain, blend, &at, (y + done + r) * width + x, row, (uint32_t)want);
            for (; e > 0 && (r + 1) * w <= (uint32_t)e + (row - band); ++r) /* the rows now whole */
                ;
            if (e != want)
                break;
        }
        if (r)
            push(ctx, (uint16_t)x, (uint16_t)(y + done), (uint16_t)w, (uint16_t)r, band);
        done += r;
        if (e != want)
            return e < 0 ? e : at != (y + done) * width ? LZ16_E_WIDTH : (int32_t)done; /* ended inside a row? */
        band = band == buf ? second : buf;
    }
    return (int32_t)done;
}

int32_t lz16_draw(struct lz16_stream *s, uint16_t width, uint16_t *buf, uint32_t buf_words, lz16_push_fn push,
                  void *ctx)
{
    return lz16_bands(s, NULL, NULL, width, 0, 0, width, 0x10000u, buf, buf_words, push, ctx);
}

int32_t lz16_draw_window(struct lz16_stream *s, uint16_t width, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
                         uint16_t *buf, uint32_t buf_words, lz16_push_fn push, void *ctx)
{
    return lz16_bands(s, NULL, NULL, width, x, y, w, h, buf, buf_words, push, ctx);
}

int32_t lz16_draw_blend(struct lz16_blend_stream *s, uint16_t width, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
                        const struct lz16_backdrop *under, uint16_t *buf, uint32_t buf_words, lz16_push_fn push,
                        void *ctx)
{
    return lz16_bands(NULL, s, under, width, x, y, w, h, buf, buf_words, push, ctx);
}

void lz16_recode(uint16_t *pixels, uint32_t n, unsigned format)
{
    /* Where this build puts the channels, and where format wants them:
     * the high one (red, or blue in BGR) and green shifted, the low one
     * in bits 4-0. */
#if !defined(LZ16DEC_FORMAT) || LZ16DEC_FORMAT == LZ16DEC_RGB565 || LZ16DEC_FORMAT == LZ16DEC_BGR565
    const unsigned high = 11, green = 6;
#else
    const unsigned high = 10, green = 5;
#endif
#if !defined(LZ16DEC_FORMAT) || LZ16DEC_FORMAT == LZ16DEC_RGB565 || LZ16DEC_FORMAT == LZ16DEC_RGB555
    const unsigned red_high = 1;
#else
    const unsigned red_high = 0;
#endif
    const unsigned order = format & 7u, to_high = order <= LZ16DEC_BGR565 ? 11 : 10, to_green = to_high - 5;
    const unsigned flip = red_high != (order == LZ16DEC_RGB565 || order == LZ16DEC_RGB555);
    uint32_t k;
    for (k = 0; k < n; ++k) {
        unsigned w = pixels[k], a, b;
#ifdef LZ16DEC_SWAP_BYTES
        w = (w >> 8 | w << 8) & 0xFFFFu;
#endif
        a = w >> high & 31u;
        b = w & 31u;
        if (flip) {
            unsigned t = a;
            a = b;
            b = t;
        }
        w = a << to_high | (w >> green & 31u) << to_green | b;
        if (format & LZ16DEC_SWAPPED)
            w = (w >> 8 | w << 8) & 0xFFFFu;
        pixels[k] = (uint16_t)w;
    }
}
