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
 */
#include "lz16dec.h"

#define LZ16_LITERAL_SWITCH 0x20u /* in a literal's word */

/* A literal's two bytes as they lie, low byte first: in the pixel's order,
 * or swapped, as asked for; the switch bit is bit 5 or bit 13. */
#ifdef LZ16DEC_SWAP_BYTES
#define LZ16_LITERAL(p) ((uint16_t)((unsigned)(p)[0] << 8 | (p)[1]))
#define LZ16_SWITCH_BIT (LZ16_LITERAL_SWITCH << 8)
#else
#define LZ16_LITERAL(p) ((uint16_t)((unsigned)(p)[1] << 8 | (p)[0]))
#define LZ16_SWITCH_BIT LZ16_LITERAL_SWITCH
#endif
#define LZ16_PIXEL(lit) ((uint16_t)((lit) & ~LZ16_SWITCH_BIT))

/* A file of n bytes holds at most 7.5 n pixels (15 for every 2 bytes of
 * codes), so up to this size every pixel count fits an int32_t. */
#define LZ16_MAX_FILE 0xFFFFFFFu

/* Tokens are read a byte at a time but combined as big-endian words, which
 * big-endian CPUs load in one go: a code is then CCCCSDDDDDDDDDDD. */
#define LZ16_TOKEN(p) ((unsigned)(p)[0] << 8 | (p)[1])

/* Whether a code token's switch bit is set, by the sign of the bit shifted
 * to the top of 16: a shift and a branch, with no constant to load. The
 * narrowing wraps, as every compiler for these CPUs defines it to. */
#define LZ16_CODE_SWITCHES(t) ((int16_t)((t) << 4) < 0)

uint16_t *lz16_unpack(const void *file, uint16_t *dst)
{
    const uint8_t *f = (const uint8_t *)file;
    const uint8_t *code = f + 18;
    const uint8_t *data = code + ((unsigned)f[16] << 8) + f[17], *code_end;
    if (f[17] & 1) { /* the long form: the odd length is its flag, and 2 more bytes */
        data += ((uint32_t)f[18] << 15 | (uint32_t)f[19] << 23) + 1;
        code += 2;
    }
    code_end = data;
    for (;;) {
        const uint16_t lit = LZ16_LITERAL(data);
        data += 2;
        *dst++ = LZ16_PIXEL(lit);
        if (!(lit & LZ16_SWITCH_BIT))
            continue;
        if (code == code_end)
            return dst;
        for (;;) {
            const unsigned t = LZ16_TOKEN(code);
            uint16_t *stop = dst + (t >> 12);
            const ptrdiff_t dist = (ptrdiff_t)(t & 0x7FFu);
            code += 2;
            do {
                *dst = dst[-dist];
                ++dst;
            } while (dst != stop);
            if (LZ16_CODE_SWITCHES(t))
                break;
        }
    }
}

/* Checks the header and length field of the size bytes at f, and finds the
 * two segments: codes from *code to *data, literals from *data to the end. */
static int lz16_segments(const uint8_t *f, size_t size, const uint8_t **code, const uint8_t **data)
{
    static const uint8_t magic[16] = {'c', 'o', 'm', 'p', 'r', 'e', 's', 's', ' ', 'L', 'Z'};
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
        if (f[i] != magic[i])
            return LZ16_E_HEADER;
    len = (uint32_t)f[16] << 8 | (f[17] & 0xFEu);
    if (f[17] & 1) {
        if (size < 20 || (f[18] & 1))
            return LZ16_E_LENGTH;
        len |= (uint32_t)f[18] << 15 | (uint32_t)f[19] << 23;
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
    if (e)
        return e;
    code_end = data;
    if (code == end)
        return 0; /* the empty image */
    for (;;) {
        uint16_t lit;
        if (data == end)
            return LZ16_E_STRUCTURE;
        lit = LZ16_LITERAL(data);
        data += 2;
        if (dst) {
            if (n >= capacity)
                return LZ16_E_CAPACITY;
            dst[n] = LZ16_PIXEL(lit);
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
            code += 2;
            count = t >> 12;
            dist = t & 0x7FFu;
            if (count < 2 || dist == 0)
                return LZ16_E_TOKEN;
            if (dist > n)
                return LZ16_E_DISTANCE;
            if (dst) {
                uint16_t *out = dst + n, *stop = out + count;
                if (capacity - n < count)
                    return LZ16_E_CAPACITY;
                do {
                    *out = out[-(ptrdiff_t)dist];
                    ++out;
                } while (out != stop);
            }
            n += count;
            if (LZ16_CODE_SWITCHES(t))
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

/* Ends the stream with an error, which every later read returns too. */
static int32_t lz16_stream_fail(struct lz16_stream *s, int e)
{
    s->state = (int8_t)e;
    return e;
}

int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n)
{
    size_t k = 0;
    if (s->state)
        return s->state < 0 ? s->state : 0;
    if (n > INT32_MAX)
        n = INT32_MAX;
    while (k < n) {
        uint16_t w;
        int last = 0;
        if (s->run) {
            w = s->window[(s->npix - s->dist) & 2047u];
            --s->run;
        } else if (s->in_code) {
            unsigned t, count, dist;
            if (s->code == s->code_end)
                return lz16_stream_fail(s, LZ16_E_STRUCTURE);
            t = LZ16_TOKEN(s->code);
            s->code += 2;
            count = t >> 12;
            dist = t & 0x7FFu;
            if (count < 2 || dist == 0)
                return lz16_stream_fail(s, LZ16_E_TOKEN);
            if (dist > s->npix)
                return lz16_stream_fail(s, LZ16_E_DISTANCE);
            s->run = (uint16_t)count;
            s->dist = (uint16_t)dist;
            s->in_code = !LZ16_CODE_SWITCHES(t);
            continue;
        } else {
            uint16_t lit;
            if (s->data == s->data_end)
                return lz16_stream_fail(s, LZ16_E_STRUCTURE);
            lit = LZ16_LITERAL(s->data);
            s->data += 2;
            w = LZ16_PIXEL(lit);
            if (lit & LZ16_SWITCH_BIT) {
                if (s->code != s->code_end)
                    s->in_code = 1;
                else if (s->data != s->data_end)
                    return lz16_stream_fail(s, LZ16_E_STRUCTURE);
                else
                    last = 1;
            }
        }
        s->window[s->npix++ & 2047u] = w;
        out[k++] = w;
        if (last) {
            s->state = 1;
            break;
        }
    }
    return (int32_t)k;
}
