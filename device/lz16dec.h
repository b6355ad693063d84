/*
 * lz16dec: decoder for lz16 compressed images, for the device.
 *
 * Freestanding C99: needs only <stddef.h> and <stdint.h>, calls no library
 * function, allocates nothing and keeps no global state. Compiles as C and
 * as C++.
 *
 * Configuration, by macros defined when compiling lz16dec.c (of the
 * header, only LZ16_PIXEL_WORD changes with them):
 *  - LZ16DEC_READ_BYTE(p): how one byte of the file is read, p a
 *    const uint8_t *; a plain load by default. For AVR PROGMEM, compile with
 *    -include avr/pgmspace.h "-DLZ16DEC_READ_BYTE(p)=pgm_read_byte(p)".
 *  - LZ16DEC_FORMAT: the pixel order of the words given out, one of
 *      LZ16DEC_RGB565  red 15-11, green 10-6, blue 4-0 (the default)
 *      LZ16DEC_BGR565  blue 15-11, green 10-6, red 4-0
 *      LZ16DEC_RGB555  red 14-10, green 9-5, blue 4-0
 *      LZ16DEC_BGR555  blue 14-10, green 9-5, red 4-0 (GBA, NDS, SNES)
 *    The lowest green bit of the 565 forms, and bit 15 of the 555 forms, are
 *    always 0: each order holds every lz16 pixel exactly.
 *  - LZ16DEC_SWAP_BYTES: each word with its two bytes swapped, for displays
 *    that take the high byte first over a byte-wide bus.
 * Words are in the CPU's byte order unless swapped.
 *
 * The file may lie at any address: every entry point reads it a byte at a
 * time (compilers may join two byte reads into one 16-bit load on CPUs that
 * allow it; on the 68000 GCC does so at even offsets of the file, so there
 * give a file you place by hand an even address, as lz16pack's arrays have).
 *
 * Three ways in (and three more that draw an image with alpha, below):
 *  - lz16_unpack: images your own build made (in ROM or flash). Smallest and
 *    fastest; checks nothing, so a damaged file can write anywhere.
 *  - lz16_decode: any file. Reads only file[0, size), writes only
 *    dst[0, capacity), always ends, and accepts exactly the files the lz16
 *    tools write.
 *  - lz16_stream_*: any file, a few pixels at a time, with the same checks.
 *    Keeps only the last 2047 pixels, so a display can be fed a band of
 *    rows at a time without a buffer for the whole image. Reads the file in
 *    place (from ROM too).
 */
#ifndef LZ16DEC_H
#define LZ16DEC_H

#include <stddef.h>
#include <stdint.h>

/* Values for LZ16DEC_FORMAT. */
#define LZ16DEC_RGB565 1
#define LZ16DEC_BGR565 2
#define LZ16DEC_RGB555 3
#define LZ16DEC_BGR555 4

/*
 * The word lz16dec gives out for an lz16 pixel word w (red 15-11, green
 * 10-6, blue 4-0, as lz16pack writes ID_KEY), in the pixel order and byte
 * swap that LZ16DEC_FORMAT and LZ16DEC_SWAP_BYTES give where this header is
 * included: define them for your code as for lz16dec.c (a project-wide -D
 * does). A constant expression, for a switch or an initialiser too.
 */
#if !defined(LZ16DEC_FORMAT) || LZ16DEC_FORMAT == LZ16DEC_RGB565
#define LZ16_ORDERED_WORD(w) (w)
#elif LZ16DEC_FORMAT == LZ16DEC_BGR565
#define LZ16_ORDERED_WORD(w) ((w) >> 11 | ((w) & 0x07C0u) | ((w) & 0x1Fu) << 11)
#elif LZ16DEC_FORMAT == LZ16DEC_RGB555
#define LZ16_ORDERED_WORD(w) (((w) >> 1 & 0x7FE0u) | ((w) & 0x1Fu))
#else
#define LZ16_ORDERED_WORD(w) ((w) >> 11 | ((w) >> 1 & 0x03E0u) | ((w) & 0x1Fu) << 10)
#endif
#ifdef LZ16DEC_SWAP_BYTES
#define LZ16_PIXEL_WORD(w) ((uint16_t)(LZ16_ORDERED_WORD((w) & 0xFFDFu) >> 8 | (LZ16_ORDERED_WORD((w) & 0xFFDFu) & 0xFFu) << 8))
#else
#define LZ16_PIXEL_WORD(w) ((uint16_t)LZ16_ORDERED_WORD((w) & 0xFFDFu))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Errors, as negative results. */
#define LZ16_E_HEADER (-1)      /* not an lz16 file, or too short for its header */
#define LZ16_E_LENGTH (-2)      /* malformed length field, or segments that do not fit the file */
#define LZ16_E_TOKEN (-3)       /* a code with a count below 2 or distance 0 */
#define LZ16_E_DISTANCE (-4)    /* a code reaching back before the first pixel */
#define LZ16_E_STRUCTURE (-5)   /* segments that do not end together on the final literal */
#define LZ16_E_CAPACITY (-6)    /* the image does not fit in dst */
#define LZ16_E_TOO_LARGE (-7)   /* a file over 256 MiB, which could hold more pixels than an int32_t counts */
#define LZ16_E_PLANES (-8)      /* a colour plane and an alpha plane that do not belong together */

/*
 * Decodes the whole image into dst and returns the end of the output.
 * The file must be one the lz16 tools wrote, of at least one pixel:
 * nothing is checked.
 */
uint16_t *lz16_unpack(const void *file, uint16_t *dst);

/*
 * Decodes the size bytes at file into dst, which holds capacity words.
 * Returns the number of pixels, or a negative LZ16_E_ code. With dst NULL
 * the file is only checked and its pixels counted.
 */
int32_t lz16_decode(const void *file, size_t size, uint16_t *dst, size_t capacity);

/* State of a streaming decode. Treat the fields as private. */
struct lz16_stream {
    const uint8_t *code, *code_end; /* code tokens still to take */
    const uint8_t *data, *data_end; /* literal tokens still to take */
    uint32_t npix;                  /* pixels given out so far */
    uint16_t run;                   /* pixels left of the current code */
    uint16_t dist;                  /* its distance */
    int8_t in_code;                 /* 1 while the stream is in the code segment */
    int8_t state;                   /* 0 going, 1 ended, else the error */
    uint16_t window[2048];          /* the last pixels, pixel k at k mod 2048 */
};

/* Starts decoding the size bytes at file, which must stay in place while
 * the stream is read. Returns 0, or a negative LZ16_E_ code. */
int lz16_stream_init(struct lz16_stream *s, const void *file, size_t size);

/* Gives the next up to n pixels in out. Returns how many (fewer than n only
 * at the end), 0 once the image has ended, or a negative LZ16_E_ code for a
 * malformed file (again on every later call). */
int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n);

/* Passes over the next up to n pixels without writing them anywhere (they
 * still count as decoded, for later codes), with the same checks and
 * results as lz16_stream_read: for drawing part of an image. */
int32_t lz16_stream_skip(struct lz16_stream *s, size_t n);

/*
 * Images with alpha are two lz16 files (lz16pack --alpha): a colour plane,
 * the words of the pixels that are not fully transparent, and an alpha
 * plane of 5-bit levels, 0 transparent to 31 opaque, three to a word after
 * a word that ties it to its colour plane. The functions below draw such an
 * image over what dst already holds (a band of the panel, a framebuffer),
 * in the configured pixel order and byte swap, each pixel by its level L:
 *
 *   L = 31  the colour word exactly;
 *   L = 0   dst's word untouched, every bit of it (the sixth green bit too);
 *   else    each channel c over the background's b as
 *           (c * A + b * (32 - A) + 16) / 32, with A = L + L / 16 (0-32),
 *           within one 5-bit level of the exact c * L / 31 + b * (31 - L) / 31
 *           (green in six bits in the 565 orders).
 *
 * Each needs both planes' windows, 8 KB (struct lz16_blend_stream), which
 * the whole-image forms take on the stack.
 */

/* Draws the whole image over dst and returns the end of it. The planes must
 * be a pair the lz16 tools wrote: nothing is checked. */
uint16_t *lz16_unpack_blend(const void *colour, const void *alpha, uint16_t *dst);

/* Draws the image of any pair of planes over dst, which holds capacity
 * words. Returns the number of pixels, or a negative LZ16_E_ code:
 * LZ16_E_PLANES for planes of different images or a colour plane with too
 * few or too many pixels. Reads only the two files, writes only
 * dst[0, capacity), and may have drawn part of the image when it fails. */
int32_t lz16_decode_blend(const void *colour, size_t colour_size, const void *alpha, size_t alpha_size,
                          uint16_t *dst, size_t capacity);

/* State of drawing an image with alpha a few pixels at a time: each plane
 * decoded at its own pace. Treat the fields as private. */
struct lz16_blend_stream {
    struct lz16_stream colour, alpha; /* the planes, each decoded ahead into its window */
    uint32_t colour_used, alpha_used; /* words of each taken so far */
    uint8_t level[63];                /* levels of alpha words taken, to draw with */
    uint8_t at, end;                  /* the next of them, and their end */
    uint8_t padding;                  /* levels of padding that end the last alpha word */
    int8_t state;                     /* 0 going, 1 ended, else the error */
};

/* Starts drawing the planes, which must stay in place while the stream is
 * read. Returns 0, or a negative LZ16_E_ code. */
int lz16_blend_init(struct lz16_blend_stream *s, const void *colour, size_t colour_size, const void *alpha,
                    size_t alpha_size);

/* Draws the next up to n pixels over dst[0, n). Returns how many (fewer
 * than n only at the end), 0 once the image has ended, or a negative
 * LZ16_E_ code (again on every later call). */
int32_t lz16_blend_read(struct lz16_blend_stream *s, uint16_t *dst, size_t n);

/* Passes over the next up to n pixels, drawing nothing, with the results of
 * lz16_blend_read: for drawing part of an image. */
int32_t lz16_blend_skip(struct lz16_blend_stream *s, size_t n);

/* Gives the next up to n pixels as they are, for a library that blends
 * itself (LVGL's RGB565A8, say): each colour word in colour[k] (0 for a
 * transparent pixel) and its alpha in 8 bits, L widened as L * 8 + L / 4
 * (0 to 255), in alpha[k]. Results as lz16_blend_read. */
int32_t lz16_blend_read_alpha(struct lz16_blend_stream *s, uint16_t *colour, uint8_t *alpha, size_t n);

#ifdef __cplusplus
}
#endif

#endif
