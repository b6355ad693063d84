/*
 * lz16dec: decoder for lz16 compressed images, for the device.
 *
 * Freestanding C99: needs only <stddef.h> and <stdint.h>, calls no library
 * function, allocates nothing and keeps no global state. Compiles as C and
 * as C++.
 *
 * Configuration, by macros defined when compiling lz16dec.c (the header
 * does not change with them):
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
 * Three ways in:
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

#ifdef __cplusplus
}
#endif

#endif
