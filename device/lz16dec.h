/*
 * lz16dec: decoder for lz16 compressed images, for the device.
 *
 *     #include "lz16dec.h"
 *     #include "tiles.h"                            (lz16pack -f h tiles.png)
 *
 *     static uint16_t frame[TILES_WIDTH * TILES_HEIGHT];
 *     lz16_decode(tiles, sizeof tiles, frame, TILES_WIDTH * TILES_HEIGHT);
 *
 * or, a band of rows at a time, with no frame buffer:
 *
 *     static struct lz16_stream s;                  (4.7 KB)
 *     static uint16_t bands[2 * 16 * TILES_WIDTH];  (two bands of 16 rows)
 *     lz16_stream_init(&s, tiles, sizeof tiles);    (or lz16_stream_open on a file)
 *     lz16_draw(&s, TILES_WIDTH, bands, 2 * 16 * TILES_WIDTH, push, panel);
 *
 * with push(panel, x, y, w, h, pixels) sending the band to the display. The
 * file format, the alpha plane's included, is in docs/format.md.
 *
 * Freestanding C99: needs only <stddef.h> and <stdint.h>, calls no library
 * function, allocates nothing and keeps no global state. Compiles as C and
 * as C++.
 *
 * Configuration, by macros defined when compiling lz16dec.c (of the
 * header, only LZ16_PIXEL_WORD changes with them):
 *  - LZ16DEC_READ_BYTE(p): how one byte of a file in memory is read, p a
 *    const uint8_t *; a plain load by default. For AVR PROGMEM, compile with
 *    -include avr/pgmspace.h "-DLZ16DEC_READ_BYTE(p)=pgm_read_byte(p)".
 *    (Files read through a callback land in RAM and are read with loads.)
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
 *    place (from ROM too), or through a callback a chunk at a time (an SD
 *    card, LittleFS, external SPI flash). lz16_draw runs the band loop.
 */
#ifndef LZ16DEC_H
#define LZ16DEC_H

#include <stddef.h>
#include <stdint.h>

/* This decoder's version, the lz16 tools' own. */
#define LZ16DEC_VERSION "1.1.0"

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
#define LZ16_E_READ (-9)        /* a read through the callback failed or came back short */
#define LZ16_E_WIDTH (-10)      /* an image that is not whole rows of the width drawn at, or a window outside it */

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

/*
 * Reads n bytes of a file from offset into buf, for a stream opened on it:
 * returns n, or anything else (a negative number) when it cannot. ctx is
 * what was given to the open call (a file handle, a flash address). Asked
 * only for bytes in [0, size), at most LZ16_CHUNK at a time.
 */
typedef int32_t (*lz16_read_at_fn)(void *ctx, uint32_t offset, uint8_t *buf, uint32_t n);

#define LZ16_CHUNK 320 /* bytes of each segment a stream on a callback reads at a time */

/* One lz16 file being decoded: where its tokens come from, and the last
 * pixels. Treat the fields as private. */
struct lz16_state {
    const uint8_t *code, *code_end; /* code tokens at hand, in the file or in a chunk read from it */
    const uint8_t *data, *data_end; /* literal tokens at hand */
    uint32_t npix;                  /* pixels given out so far */
    uint16_t run;                   /* pixels left of the current code */
    uint16_t dist;                  /* its distance */
    int8_t in_code;                 /* 1 while the stream is in the code segment */
    int8_t state;                   /* 0 going, 1 ended, else the error */
    lz16_read_at_fn read_at;        /* a file read through a callback: */
    void *ctx;
    uint8_t *chunks;                /* where its code and literal chunks go, */
    uint32_t code_at, code_stop;    /* the offsets of the codes still to read, */
    uint32_t data_at, size;         /* and of the literals (all 0 for a file in memory) */
    uint16_t window[2048];          /* the last pixels, pixel k at k mod 2048 */
};

/* State of a streaming decode. Treat the fields as private. */
struct lz16_stream {
    struct lz16_state p;
    uint8_t chunks[2 * LZ16_CHUNK]; /* for a file read through a callback */
};

/* Starts decoding the size bytes at file, which must stay in place while
 * the stream is read. Returns 0, or a negative LZ16_E_ code. */
int lz16_stream_init(struct lz16_stream *s, const void *file, size_t size);

/* Starts decoding a file of size bytes read through read_at (called
 * with ctx), which reads its header now and the rest a chunk at a time:
 * lz16_stream_read and lz16_stream_skip then work as on a file in memory,
 * with the same checks and results. A read that fails or comes back short
 * ends the stream with LZ16_E_READ, here or from every later call. */
int lz16_stream_open(struct lz16_stream *s, lz16_read_at_fn read_at, void *ctx, uint32_t size);

/* Gives the next up to n pixels in out. Returns how many (fewer than n only
 * at the end), 0 once the image has ended, or a negative LZ16_E_ code for a
 * malformed file (again on every later call). */
int32_t lz16_stream_read(struct lz16_stream *s, uint16_t *out, size_t n);

/* Passes over the next up to n pixels without writing them anywhere (they
 * still count as decoded, for later codes), with the same checks and
 * results as lz16_stream_read: for drawing part of an image. */
int32_t lz16_stream_skip(struct lz16_stream *s, size_t n);

/*
 * Images with alpha are two files (lz16pack --alpha): a colour plane, an
 * lz16 file of the words of the pixels that are not fully transparent, and
 * an alpha plane of their 5-bit levels, 0 transparent to 31 opaque, tied to
 * its colour plane: coded in runs and copies (lz16 1.1, where the colour
 * plane keeps only the words that change, or one word for an image of one
 * colour), or lz16 1.0's lz16 file of level words; both are read. Formats:
 * docs/format.md. The functions below draw such an
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
 * Each needs both planes' windows, 8.3 KB (struct lz16_blend_stream), which
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
    /* (the small fields first: within the reach of short offsets) */
    uint32_t colour_used, alpha_used; /* colour words taken; alpha words taken, or coded pixels given */
    uint32_t npix, left;              /* coded: the image's pixels, and those left of the current token */
    uint16_t last;                    /* the last shown pixel's word */
    uint16_t from;                    /* coded: the current copy's distance, 0 in a run */
    uint8_t level[63];                /* levels taken, to draw with (bit 5: the last shown word again) */
    uint8_t at, end;                  /* the next of them, and their end */
    uint8_t padding;                  /* levels of padding that end the last alpha word */
    uint8_t form;                     /* how the alpha plane is written */
    uint8_t sym;                      /* coded: the current run's pixel */
    int8_t state;                     /* 0 going, 1 ended, else the error */
    struct lz16_state alpha, colour;  /* the planes, each decoded ahead into its window (a coded
                                         alpha plane: its bytes, and its last 2048 pixels) */
};

/* Starts drawing the planes, which must stay in place while the stream is
 * read. Returns 0, or a negative LZ16_E_ code. */
int lz16_blend_init(struct lz16_blend_stream *s, const void *colour, size_t colour_size, const void *alpha,
                    size_t alpha_size);

/* An image with alpha whose planes are files read through a callback: a
 * blend stream, and the chunks its planes are read into. */
struct lz16_blend_file {
    struct lz16_blend_stream blend; /* for lz16_blend_read and the rest */
    uint8_t chunks[4 * LZ16_CHUNK];
};

/* Starts drawing planes that are files, of colour_size and alpha_size
 * bytes, each read through read_at (with colour_ctx or alpha_ctx), as
 * lz16_stream_open reads one. Returns 0, or a negative LZ16_E_ code. */
int lz16_blend_open(struct lz16_blend_file *f, lz16_read_at_fn read_at, void *colour_ctx, uint32_t colour_size,
                    void *alpha_ctx, uint32_t alpha_size);

/* Draws the next up to n pixels over dst[0, n). Returns how many (fewer
 * than n only at the end), 0 once the image has ended, or a negative
 * LZ16_E_ code (again on every later call). */
int32_t lz16_blend_read(struct lz16_blend_stream *s, uint16_t *dst, size_t n);

/* Passes over the next up to n pixels, drawing nothing, with the results of
 * lz16_blend_read: for drawing part of an image. */
int32_t lz16_blend_skip(struct lz16_blend_stream *s, size_t n);

/* Gives the next up to n pixels as they are, for a library that blends
 * itself (LVGL's RGB565A8 and A8, say): each colour word in colour[k] (0 for
 * a transparent pixel; colour may be NULL, for the alpha alone) and its
 * alpha in 8 bits, L widened as L * 8 + L / 4 (0 to 255), in alpha[k].
 * Results as lz16_blend_read. */
int32_t lz16_blend_read_alpha(struct lz16_blend_stream *s, uint16_t *colour, uint8_t *alpha, size_t n);

/*
 * Masks (lz16pack --mask): an image's alpha alone, drawn in a colour chosen
 * when drawing (symbols, monochrome icons, anti-aliased text), a word in the
 * configured order (LZ16_PIXEL_WORD). A mask is read as a blend stream of
 * that one colour: lz16_blend_read draws it over what dst holds, as the
 * _blend functions do, lz16_blend_skip passes over it, lz16_blend_read_alpha
 * gives its 8-bit alpha, and lz16_draw_blend draws it in bands.
 */

/* Starts reading the size bytes of a mask, which must stay in place while
 * the stream is read. Returns 0, or a negative LZ16_E_ code (LZ16_E_HEADER
 * for a file that is no mask). Uses only the stream's alpha plane: its
 * colour window (4 KB) is never touched. */
int lz16_mask_init(struct lz16_blend_stream *s, const void *mask, size_t size, uint16_t colour);

/* Starts reading a mask that is a file of size bytes, read through read_at
 * (with ctx) a chunk at a time into f's first chunk. */
int lz16_mask_open(struct lz16_blend_file *f, lz16_read_at_fn read_at, void *ctx, uint32_t size, uint16_t colour);

/* Draws a mask in colour over dst, which holds capacity words. Returns the
 * number of pixels, or a negative LZ16_E_ code. Reads only the size bytes
 * of mask, writes only dst[0, capacity). */
int32_t lz16_decode_mask(const void *mask, size_t size, uint16_t colour, uint16_t *dst, size_t capacity);

/*
 * Drawing in bands: a stream's pixels decoded into a buffer a band of rows
 * at a time and handed to push, for the display.
 *
 * buf (buf_words words) is split into two halves of whole rows, which the
 * bands take in turn: a half is written again only after the next band's
 * push has been called, so a push that starts a DMA transfer and returns
 * lets the next band decode while the last one is sent (a push must wait
 * for its previous transfer before starting another). The last band is not
 * touched after its push: wait for its transfer before reusing buf.
 *
 * push(ctx, x, y, w, h, pixels) gets each band: h rows of w pixels, row by
 * row, whose top-left pixel is (x, y) of the image, y counted from the
 * row where the stream stood when drawing began. Bands are never read
 * back: a push may change its band (swap its bytes in place, lz16_recode
 * it) in buf, which the pixels point into.
 *
 * Each returns the rows drawn, or a negative LZ16_E_ code: LZ16_E_CAPACITY
 * for a half smaller than one row; LZ16_E_WIDTH for an image that ends
 * inside a row (after drawing its whole rows) or a window wider than it;
 * the stream's own error after drawing the bands before it.
 */
typedef void (*lz16_push_fn)(void *ctx, uint16_t x, uint16_t y, uint16_t w, uint16_t h, const uint16_t *pixels);

/* The image, width pixels wide, from where the stream stands to its end. */
int32_t lz16_draw(struct lz16_stream *s, uint16_t width, uint16_t *buf, uint32_t buf_words, lz16_push_fn push,
                  void *ctx);

/* The window of w by h pixels at (x, y) of the image (width pixels wide),
 * passing over the rest; rows below the image's end are not drawn. */
int32_t lz16_draw_window(struct lz16_stream *s, uint16_t width, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
                         uint16_t *buf, uint32_t buf_words, lz16_push_fn push, void *ctx);

/* What an image with alpha is drawn over: a colour (a word in the configured
 * order, as LZ16_PIXEL_WORD gives), or, with image set, another lz16 image
 * width pixels wide whose pixel (x, y) lies under the top-left pixel of the
 * image with alpha. The image is read from where its stream stands, which
 * counts as its row 0. */
struct lz16_backdrop {
    uint16_t colour;
    struct lz16_stream *image;
    uint16_t width, x, y;
};

/* The window of w by h pixels at (x, y) of an image with alpha (width
 * pixels wide), drawn over the backdrop: for the whole image, give 0, 0,
 * width and its height (or 0xFFFF, to its end). LZ16_E_WIDTH also when the
 * backdrop image does not cover the window. */
int32_t lz16_draw_blend(struct lz16_blend_stream *s, uint16_t width, uint16_t x, uint16_t y, uint16_t w, uint16_t h,
                        const struct lz16_backdrop *under, uint16_t *buf, uint32_t buf_words, lz16_push_fn push,
                        void *ctx);

/*
 * The pixel order and byte swap chosen while running, for a build that
 * cannot set LZ16DEC_FORMAT or LZ16DEC_SWAP_BYTES (the Arduino IDE passes
 * no -D to a library): rewrites n words as this build gives them into
 * format, one of LZ16DEC_RGB565 to LZ16DEC_BGR555, or'ed with
 * LZ16DEC_SWAPPED for the bytes swapped. Call it on a band in the push
 * callback before sending it; a few instructions a pixel.
 */
#define LZ16DEC_SWAPPED 8
void lz16_recode(uint16_t *pixels, uint32_t n, unsigned format);

#ifdef __cplusplus
}
#endif

#endif
