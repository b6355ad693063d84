/*
 * lz16_lvgl: an LVGL 9 image decoder for lz16 images. See lz16_lvgl.h.
 *
 * Compile-time settings (define when compiling this file):
 *  - LZ16_LVGL_BAND_BYTES: the largest band given to LVGL, in bytes (one
 *    row at least); 1536 by default.
 *  - LZ16_LVGL_KEEP_BYTES: the bytes of streams kept between the passes of
 *    a screen, with the one being opened: kept streams are dropped, the
 *    oldest first, to make room for it. By default the size of the stream
 *    of an image with alpha (8.2 KB on 32-bit CPUs: with LVGL's band, within
 *    10 KB); 0 to keep none.
 *  - LZ16_LVGL_KEEP_FROM: a stream is kept only once it has passed this
 *    many pixels (8192 by default): a smaller image costs little to decode
 *    from its top again, and keeping its stream would hold its RAM while
 *    the next image draws.
 */
/* In a library package built whether or not the project has LVGL (the
 * Arduino IDE compiles every source of a library), only where it has. */
#if defined(__has_include)
#if __has_include("lvgl.h")
#define LZ16_LVGL_HERE 1
#endif
#else
#define LZ16_LVGL_HERE 1
#endif
#ifdef LZ16_LVGL_HERE

#include "lz16_lvgl.h"

#include "lz16dec.h"
/* LVGL's private headers, found from its root or its src/ (the include
 * path of its Arduino library) alike */
#include "lvgl_private.h"

#if defined(LZ16DEC_SWAP_BYTES) || (defined(LZ16DEC_FORMAT) && LZ16DEC_FORMAT != LZ16DEC_RGB565)
#error "lz16_lvgl needs lz16dec's own words (RGB565, not swapped): LVGL converts for the display"
#endif

#ifndef LZ16_LVGL_BAND_BYTES
#define LZ16_LVGL_BAND_BYTES 1536
#endif
#ifndef LZ16_LVGL_KEEP_BYTES
#define LZ16_LVGL_KEEP_BYTES sizeof(struct lz16_blend_stream)
#endif
#ifndef LZ16_LVGL_KEEP_FROM
#define LZ16_LVGL_KEEP_FROM 8192
#endif

/* One image being drawn: where its planes are, and its stream. */
typedef struct session {
    struct session *next;             /* in the list of kept streams, newest first */
    const void *src;                  /* what LVGL names the image by */
    char *path;                       /* a file's path, owned */
    const uint8_t *colour, *alpha;    /* the planes in memory; alpha NULL if opaque */
    uint32_t colour_size, alpha_size; /* alpha_size 0 if opaque */
    lv_fs_file_t file[2];             /* a file's planes, open: colour, alpha */
    int files_open;
    int mask;                         /* a mask: its alpha plane alone, given to LVGL as A8 */
    uint32_t width, height;
    uint32_t at;                      /* pixels passed so far */
    int swap;                         /* words given byte-swapped */
    int failed;                       /* the stream met damaged data */
    lv_draw_buf_t *band;              /* the rows given to LVGL */
    void *state;                      /* the stream, of state_bytes: */
    uint32_t state_bytes;
    struct lz16_stream *plain;        /* opaque, */
    struct lz16_blend_stream *blend;  /* or with alpha (in a struct lz16_blend_file for a file) */
} session_t;

static lv_image_decoder_t *decoder;
static lv_draw_unit_t *listener; /* hears lv_image_cache_drop() */
static const lz16_lvgl_file_t *files;
static uint32_t file_count;
static session_t *kept;
static uint32_t kept_bytes; /* of their streams */

/* ---- recognising an image ---- */

/* The planes an image descriptor points at, or NULL if it is not lz16's. */
static const lz16_lvgl_planes_t *planes_of(const lv_image_dsc_t *img)
{
    uint32_t magic;
    const lz16_lvgl_planes_t *p;
    if ((img->header.cf != LV_COLOR_FORMAT_RAW && img->header.cf != LV_COLOR_FORMAT_RAW_ALPHA) ||
        img->data == NULL || img->data_size != sizeof(lz16_lvgl_planes_t))
        return NULL;
    lv_memcpy(&magic, img->data, sizeof magic); /* any RAW image may get here, aligned or not */
    if (magic != LZ16_LVGL_MAGIC) return NULL;
    p = (const lz16_lvgl_planes_t *)img->data;
    if ((p->colour == NULL) != (p->colour_size == 0) || (p->alpha_size != 0) != (img->header.cf == LV_COLOR_FORMAT_RAW_ALPHA) ||
        (p->alpha_size != 0 && p->alpha == NULL) || (p->colour == NULL && p->alpha_size == 0))
        return NULL;
    return p;
}

static const lz16_lvgl_file_t *file_of(const char *path)
{
    uint32_t k;
    if (lv_strcmp(lv_fs_get_ext(path), "lz") != 0) return NULL;
    for (k = 0; k < file_count; ++k)
        if (lv_strcmp(files[k].path, path) == 0) return &files[k];
    LV_LOG_WARN("lz16: %s is not in the table given to lz16_lvgl_set_files, which gives its size", path);
    return NULL;
}

/* "dir/gem.lz" -> "dir/gem.alpha.lz", in LVGL's heap. */
static char *alpha_path(const char *path)
{
    size_t n = lv_strlen(path);
    char *a = lv_malloc(n + 7);
    if (a == NULL) return NULL;
    lv_memcpy(a, path, n - 3);
    lv_memcpy(a + n - 3, ".alpha.lz", 10);
    return a;
}

/* Whether the file at path is a mask: its first bytes say so. */
static int is_mask_file(const char *path)
{
    lv_fs_file_t f;
    uint8_t head[2];
    uint32_t got = 0;
    if (lv_fs_open(&f, path, LV_FS_MODE_RD) != LV_FS_RES_OK) return 0;
    if (lv_fs_read(&f, head, 2, &got) != LV_FS_RES_OK) got = 0;
    lv_fs_close(&f);
    return got == 2 && head[0] == 0xA5 && head[1] == 3;
}

static int has_alpha_file(const char *path)
{
    lv_fs_file_t f;
    char *a = alpha_path(path);
    int found = a != NULL && lv_fs_open(&f, a, LV_FS_MODE_RD) == LV_FS_RES_OK;
    if (found) lv_fs_close(&f);
    lv_free(a);
    return found;
}

static lv_color_format_t opaque_format(void)
{
    lv_display_t *d = lv_display_get_default();
    return d != NULL && lv_display_get_color_format(d) == LV_COLOR_FORMAT_RGB565_SWAPPED ? LV_COLOR_FORMAT_RGB565_SWAPPED
                                                                                         : LV_COLOR_FORMAT_RGB565;
}

static lv_result_t decoder_info(lv_image_decoder_t *dec, lv_image_decoder_dsc_t *dsc, lv_image_header_t *header)
{
    int alpha, mask;
    LV_UNUSED(dec);
    if (dsc->src_type == LV_IMAGE_SRC_VARIABLE) {
        const lv_image_dsc_t *img = dsc->src;
        const lz16_lvgl_planes_t *p = planes_of(img);
        if (p == NULL) return LV_RESULT_INVALID;
        header->w = img->header.w;
        header->h = img->header.h;
        alpha = p->alpha_size != 0;
        mask = p->colour_size == 0;
    } else if (dsc->src_type == LV_IMAGE_SRC_FILE) {
        const lz16_lvgl_file_t *f = file_of(dsc->src);
        if (f == NULL) return LV_RESULT_INVALID;
        header->w = f->width;
        header->h = f->height;
        mask = is_mask_file(f->path);
        alpha = !mask && has_alpha_file(f->path);
    } else {
        return LV_RESULT_INVALID;
    }
    if (header->w == 0 || header->h == 0) return LV_RESULT_INVALID;
    header->magic = LV_IMAGE_HEADER_MAGIC;
    header->cf = mask ? LV_COLOR_FORMAT_A8 : alpha ? LV_COLOR_FORMAT_RGB565A8 : opaque_format();
    header->stride = header->w * (mask ? 1 : 2);
    header->flags = 0;
    return LV_RESULT_OK;
}

/* ---- the stream ---- */

static void session_free(session_t *s)
{
    int k;
    if (s->band != NULL) lv_draw_buf_destroy(s->band);
    for (k = 0; k < s->files_open; ++k) lv_fs_close(&s->file[k]);
    lv_free(s->state);
    lv_free(s->path);
    lv_free(s);
}

/* Reads n bytes at offset of an open file (lz16dec's callback). */
static int32_t read_at(void *file, uint32_t offset, uint8_t *buf, uint32_t n)
{
    uint32_t got = 0;
    if (lv_fs_seek(file, offset, LV_FS_SEEK_SET) != LV_FS_RES_OK || lv_fs_read(file, buf, n, &got) != LV_FS_RES_OK)
        return -1;
    return (int32_t)got;
}

/* Starts the stream at the image's top: 0, or an LZ16_E_ code. */
static int stream_start(session_t *s)
{
    s->at = 0;
    if (s->mask)
        return s->files_open ? lz16_mask_open(s->state, read_at, &s->file[0], s->alpha_size, 0)
                             : lz16_mask_init(s->blend, s->alpha, s->alpha_size, 0);
    if (s->files_open)
        return s->blend != NULL ? lz16_blend_open(s->state, read_at, &s->file[0], s->colour_size, &s->file[1],
                                                  s->alpha_size)
                                : lz16_stream_open(s->plain, read_at, &s->file[0], s->colour_size);
    if (s->blend != NULL) return lz16_blend_init(s->blend, s->colour, s->colour_size, s->alpha, s->alpha_size);
    return lz16_stream_init(s->plain, s->colour, s->colour_size);
}

/* Opens the file at path as the session's next plane, and gives its size. */
static int open_file(session_t *s, const char *path, uint32_t *size)
{
    lv_fs_file_t *f = &s->file[s->files_open];
    if (lv_fs_open(f, path, LV_FS_MODE_RD) != LV_FS_RES_OK) return 0;
    ++s->files_open;
    return lv_fs_seek(f, 0, LV_FS_SEEK_END) == LV_FS_RES_OK && lv_fs_tell(f, size) == LV_FS_RES_OK;
}

/* Frees kept streams, the oldest first, until bytes more fit the budget. */
static void make_room(uint32_t bytes)
{
    while (kept != NULL && kept_bytes + bytes > LZ16_LVGL_KEEP_BYTES) {
        session_t **p = &kept;
        while ((*p)->next != NULL) p = &(*p)->next;
        kept_bytes -= (*p)->state_bytes;
        session_free(*p);
        *p = NULL;
    }
}

static session_t *session_open(lv_image_decoder_dsc_t *dsc)
{
    session_t *s = lv_malloc_zeroed(sizeof *s);
    int e = LZ16_E_HEADER, mask = dsc->header.cf == LV_COLOR_FORMAT_A8;
    int alpha = mask || dsc->header.cf == LV_COLOR_FORMAT_RGB565A8;
    if (s == NULL) return NULL;
    s->mask = mask;
    s->src = dsc->src;
    s->width = dsc->header.w;
    s->height = dsc->header.h;
    s->swap = dsc->header.cf == LV_COLOR_FORMAT_RGB565_SWAPPED;
    if (dsc->src_type == LV_IMAGE_SRC_VARIABLE) {
        const lz16_lvgl_planes_t *p = planes_of(dsc->src);
        s->colour = p->colour;
        s->colour_size = p->colour_size;
        s->alpha = p->alpha;
        s->alpha_size = p->alpha_size;
        s->state_bytes = alpha ? sizeof(struct lz16_blend_stream) : sizeof(struct lz16_stream);
    } else {
        /* (an alpha file found when LVGL asked for the size, and gone now, fails) */
        char *a = NULL;
        int ok = (s->path = lv_strdup(dsc->src)) != NULL && open_file(s, s->path, mask ? &s->alpha_size : &s->colour_size) &&
                 (!alpha || mask || ((a = alpha_path(s->path)) != NULL && open_file(s, a, &s->alpha_size)));
        lv_free(a);
        if (!ok) {
            LV_LOG_WARN("lz16: cannot read %s or its alpha plane", (const char *)dsc->src);
            session_free(s);
            return NULL;
        }
        s->state_bytes = alpha ? sizeof(struct lz16_blend_file) : sizeof(struct lz16_stream);
    }
    make_room(s->state_bytes);
    s->state = lv_malloc(s->state_bytes);
    if (alpha)
        s->blend = s->files_open ? &((struct lz16_blend_file *)s->state)->blend : s->state;
    else
        s->plain = s->state;
    if (s->state == NULL || (alpha && s->alpha_size == 0) || (e = stream_start(s)) != 0) {
        if (s->state != NULL) LV_LOG_WARN("lz16: %s: error %d", s->path != NULL ? s->path : "image", e);
        session_free(s);
        return NULL;
    }
    return s;
}

/* Passes on to pixel target, from the top again if the stream is past it. */
static int seek(session_t *s, uint32_t target)
{
    int32_t got;
    if (target < s->at && stream_start(s) != 0) return 0;
    if (target == s->at) return 1;
    got = s->blend != NULL ? lz16_blend_skip(s->blend, target - s->at) : lz16_stream_skip(s->plain, target - s->at);
    if (got < 0 || (uint32_t)got != target - s->at) return 0;
    s->at = target;
    return 1;
}

/* Gives n pixels to colour[0, n) and, with alpha, alpha[0, n) (a mask's
   to alpha alone, colour NULL). */
static int read_row(session_t *s, uint16_t *colour, uint8_t *alpha, uint32_t n)
{
    int32_t got;
    uint32_t k;
    if (s->blend != NULL)
        got = lz16_blend_read_alpha(s->blend, colour, alpha, n);
    else
        got = lz16_stream_read(s->plain, colour, n);
    if (got < 0 || (uint32_t)got != n) return 0;
    if (s->swap && colour != NULL)
        for (k = 0; k < n; ++k) colour[k] = (uint16_t)(colour[k] << 8 | colour[k] >> 8);
    s->at += n;
    return 1;
}

/* Fills rows [y1, y2] of columns [x1, x1 + w) into buf, whose rows hold w
   pixels (and below them, with alpha, their levels; a mask's rows, the
   levels alone). */
static int fill(session_t *s, lv_draw_buf_t *buf, int32_t x1, int32_t y1, int32_t y2)
{
    uint32_t stride = buf->header.stride, w = buf->header.w, rows = (uint32_t)(y2 - y1 + 1), r;
    uint8_t *alpha = buf->data + stride * rows;
    for (r = 0; r < rows; ++r) {
        uint32_t y = (uint32_t)y1 + r;
        uint8_t *row = buf->data + stride * r;
        if (!seek(s, y * s->width + (uint32_t)x1) ||
            !(s->mask ? read_row(s, NULL, row, w)
                      : read_row(s, (uint16_t *)row, s->blend ? alpha + stride / 2 * r : NULL, w))) {
            LV_LOG_WARN("lz16: %s: damaged or short at row %u", s->path != NULL ? s->path : "image", (unsigned)y);
            s->failed = 1;
            return 0;
        }
    }
    return 1;
}

/* Puts s at the head of the list of kept streams, within the budget. */
static void keep(session_t *s)
{
    if (s->band != NULL) lv_draw_buf_destroy(s->band);
    s->band = NULL;
    if (s->state_bytes > LZ16_LVGL_KEEP_BYTES) {
        session_free(s);
        return;
    }
    make_room(s->state_bytes);
    s->next = kept;
    kept = s;
    kept_bytes += s->state_bytes;
}

/* Whether s is a stream of the image src names (a path, or a descriptor). */
static int session_of(const session_t *s, const void *src, lv_image_src_t type)
{
    return type == LV_IMAGE_SRC_FILE ? s->path != NULL && lv_strcmp(s->path, src) == 0 : s->path == NULL && s->src == src;
}

/* The kept stream of the image dsc opens, taken out of the list: one of
   the same source, whose planes are still where and what size they were,
   so that a stream never reads past planes that have shrunk. */
static session_t *take_kept(const lv_image_decoder_dsc_t *dsc)
{
    session_t **p;
    for (p = &kept; *p != NULL; p = &(*p)->next) {
        session_t *s = *p;
        const lz16_lvgl_planes_t *planes = dsc->src_type == LV_IMAGE_SRC_FILE ? NULL : planes_of(dsc->src);
        int same = session_of(s, dsc->src, dsc->src_type) &&
                   (planes == NULL || (planes->colour == s->colour && planes->colour_size == s->colour_size &&
                                       planes->alpha == s->alpha && planes->alpha_size == s->alpha_size));
        if (same && s->width == dsc->header.w && s->height == dsc->header.h &&
            s->swap == (dsc->header.cf == LV_COLOR_FORMAT_RGB565_SWAPPED)) {
            *p = s->next;
            s->next = NULL;
            kept_bytes -= s->state_bytes;
            return s;
        }
    }
    return NULL;
}

/* Frees the kept streams of src, or all of them for NULL: lv_image_cache_drop(src),
   which a program calls once an image's data has changed, tells every draw
   unit, and the listener is one that draws nothing. */
static void drop_kept(const void *src)
{
    session_t **p = &kept;
    lv_image_src_t type = src != NULL ? lv_image_src_get_type(src) : LV_IMAGE_SRC_UNKNOWN;
    while (*p != NULL) {
        session_t *s = *p;
        if (src == NULL || session_of(s, src, type)) {
            *p = s->next;
            kept_bytes -= s->state_bytes;
            session_free(s);
        } else {
            p = &s->next;
        }
    }
}

static void listener_event(lv_event_t *e)
{
    if (lv_event_get_code(e) == LV_EVENT_INVALIDATE_AREA) drop_kept(lv_event_get_param(e));
}

static int32_t listener_dispatch(lv_draw_unit_t *unit, lv_layer_t *layer)
{
    LV_UNUSED(unit);
    LV_UNUSED(layer);
    return LV_DRAW_UNIT_IDLE; /* takes no task */
}

static int32_t listener_delete(lv_draw_unit_t *unit)
{
    LV_UNUSED(unit);
    listener = NULL; /* lv_deinit() frees it */
    return 0;
}

/* ---- the decoder's calls ---- */

/* Decodes the whole image into a buffer of LVGL's, cached if LVGL caches. */
static lv_result_t open_whole(lv_image_decoder_t *dec, lv_image_decoder_dsc_t *dsc, session_t *s)
{
    lv_draw_buf_t *buf = lv_draw_buf_create(s->width, s->height, dsc->header.cf, LV_STRIDE_AUTO);
    int ok = buf != NULL && fill(s, buf, 0, 0, (int32_t)s->height - 1);
    session_free(s);
    if (!ok) {
        if (buf != NULL) lv_draw_buf_destroy(buf);
        return LV_RESULT_INVALID;
    }
    dsc->decoded = buf;
    if (lv_image_cache_is_enabled() && !dsc->args.no_cache) {
        lv_image_cache_data_t key;
        key.src_type = dsc->src_type;
        key.src = dsc->src;
        key.slot.size = buf->data_size;
        dsc->cache_entry = lv_image_decoder_add_to_cache(dec, &key, buf, NULL);
        if (dsc->cache_entry == NULL) {
            lv_draw_buf_destroy(buf);
            dsc->decoded = NULL;
            return LV_RESULT_INVALID;
        }
    }
    return LV_RESULT_OK;
}

static lv_result_t decoder_open(lv_image_decoder_t *dec, lv_image_decoder_dsc_t *dsc)
{
    session_t *s = take_kept(dsc);
    if (s == NULL) s = session_open(dsc);
    if (s == NULL) return LV_RESULT_INVALID;
    if (dsc->src_type == LV_IMAGE_SRC_VARIABLE &&
        (((const lv_image_dsc_t *)dsc->src)->header.flags & LZ16_LVGL_WHOLE))
        return open_whole(dec, dsc, s);
    dsc->user_data = s;
    dsc->decoded = NULL; /* LVGL asks for the rows through get_area */
    return LV_RESULT_OK;
}

static lv_result_t decoder_get_area(lv_image_decoder_t *dec, lv_image_decoder_dsc_t *dsc, const lv_area_t *full,
                            lv_area_t *area)
{
    session_t *s = dsc->user_data;
    int32_t w = lv_area_get_width(full), rows, y1;
    LV_UNUSED(dec);
    if (s == NULL || s->failed || w <= 0) return LV_RESULT_INVALID;
    rows = LZ16_LVGL_BAND_BYTES / (w * (s->mask ? 1 : s->blend ? 3 : 2));
    if (rows < 1) rows = 1;
    if (area->y1 == LV_COORD_MIN) {
        lv_draw_buf_t *b = s->band ? lv_draw_buf_reshape(s->band, dsc->header.cf, w, rows, LV_STRIDE_AUTO) : NULL;
        if (b == NULL) {
            if (s->band != NULL) lv_draw_buf_destroy(s->band);
            s->band = b = lv_draw_buf_create(w, rows, dsc->header.cf, LV_STRIDE_AUTO);
            if (b == NULL) return LV_RESULT_INVALID;
        }
        dsc->decoded = b;
        y1 = full->y1;
    } else {
        y1 = area->y2 + 1;
    }
    if (y1 > full->y2) return LV_RESULT_INVALID;
    area->x1 = full->x1;
    area->x2 = full->x2;
    area->y1 = y1;
    area->y2 = LV_MIN(y1 + rows - 1, full->y2);
    /* The band's height is this band's, for LVGL finds the levels below it. */
    if (lv_draw_buf_reshape(s->band, dsc->header.cf, w, area->y2 - y1 + 1, s->band->header.stride) == NULL ||
        !fill(s, s->band, full->x1, y1, area->y2))
        return LV_RESULT_INVALID;
    return LV_RESULT_OK;
}

static void decoder_close(lv_image_decoder_t *dec, lv_image_decoder_dsc_t *dsc)
{
    session_t *s = dsc->user_data;
    LV_UNUSED(dec);
    if (s == NULL) {
        /* decoded whole: LVGL's cache owns the buffer, or else we do */
        if (dsc->decoded != NULL && dsc->cache_entry == NULL) lv_draw_buf_destroy((lv_draw_buf_t *)dsc->decoded);
        return;
    }
    dsc->user_data = NULL;
    dsc->decoded = NULL;
    if (!s->failed && s->at >= LZ16_LVGL_KEEP_FROM && s->at > 0 && s->at < s->width * s->height)
        keep(s);
    else
        session_free(s);
}

/* ---- set-up ---- */

void lz16_lvgl_set_files(const lz16_lvgl_file_t *table, uint32_t count)
{
    files = table;
    file_count = count;
}

void lz16_lvgl_init(void)
{
    if (decoder != NULL) return;
    decoder = lv_image_decoder_create();
    if (decoder == NULL) return;
    lv_image_decoder_set_info_cb(decoder, decoder_info);
    lv_image_decoder_set_open_cb(decoder, decoder_open);
    lv_image_decoder_set_get_area_cb(decoder, decoder_get_area);
    lv_image_decoder_set_close_cb(decoder, decoder_close);
    decoder->name = "lz16";
    if (listener == NULL && (listener = lv_draw_create_unit(sizeof *listener)) != NULL) {
        listener->dispatch_cb = listener_dispatch;
        listener->event_cb = listener_event;
        listener->delete_cb = listener_delete;
        listener->name = "lz16 kept streams";
    }
}

void lz16_lvgl_deinit(void)
{
    drop_kept(NULL);
    if (decoder != NULL) lv_image_decoder_delete(decoder);
    decoder = NULL;
}

#else
typedef int lz16_lvgl_without_lvgl; /* not an empty file */
#endif
