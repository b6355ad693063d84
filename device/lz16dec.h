/*
 * lz16dec: decoder for lz16 compressed images, for the device.
 *
 * Freestanding C99: needs only <stddef.h> and <stdint.h>, calls no library
 * function, allocates nothing and keeps no global state. Compiles as C and
 * as C++.
 *
 * On CPUs that fault on 16-bit reads at odd addresses (the 68000), give
 * the file an even address: compilers may read each 2-byte token in one go.
 *
 * Output words are RGB 5:5:5 with bit 5 clear (red in bits 15-11, green in
 * 10-6, blue in 4-0), in the CPU's byte order. Define LZ16DEC_SWAP_BYTES
 * when compiling lz16dec.c to get each word with its two bytes swapped, for
 * displays that take the high byte first over a byte-wide bus.
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
    uint16_t window[2048];          /* the last pixels, indexed by npix mod 2048 */
};

/* Starts decoding the size bytes at file, which must stay in place while
 * the stream is read. Returns 0, or a negative LZ16_E_ code. */
int lz16_stream_init(struct lz16_stream *s, const void *file, size_t size);

/* Gives the next up to n pixels in out. Returns how many (fewer than n only
 * at the end), 0 once the image has ended, or a negative LZ16_E_ code for a
 * malformed file (again on every later call). */
int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n);

#ifdef __cplusplus
}
#endif

#endif
