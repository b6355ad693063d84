/*
 * Decodes every asset of the index band by band, as a display driver
 * would, and writes each as a binary PPM, its 5-bit channels widened to
 * 8 bits: show_assets DIR writes DIR/<name>.ppm for a still picture, and
 * DIR/<name>-000.ppm, DIR/<name>-001.ppm, ... for the frames of an
 * animation or a sheet, played through its frame table, from the two
 * indexes assets.h and sheets.h. The icons of icons.h, which have alpha,
 * are drawn over a gradient, as over a screen, into DIR/<name>-over.ppm.
 */
#include <stdio.h>
#include <string.h>

#include "assets.h"
#include "icons.h"
#include "lz16dec.h"
#include "sheets.h"

enum { BAND = 256 }; /* pixels decoded at a time */

static struct lz16_stream stream; /* 4 KiB: too big for some stacks */
static struct lz16_blend_stream blend; /* 8 KiB, a window for each plane */

/* A 565 word widened to 8-bit RGB, green from all six of its bits. */
static void widen(unsigned w, unsigned char *rgb) {
    const unsigned r = w >> 11, g = (w >> 5) & 63, b = w & 31;
    rgb[0] = (unsigned char)(r << 3 | r >> 2);
    rgb[1] = (unsigned char)(g << 2 | g >> 4);
    rgb[2] = (unsigned char)(b << 3 | b >> 2);
}

/* What the icons are drawn over: red across, green down (in six bits),
 * blue against red. */
static uint16_t gradient(uint32_t x, uint32_t y, uint32_t width, uint32_t height) {
    const uint32_t r = x * 31 / (width > 1 ? width - 1 : 1), g = y * 63 / (height > 1 ? height - 1 : 1);
    return (uint16_t)(r << 11 | g << 5 | (31 - r));
}

/* The icon drawn over the gradient, a band at a time, as DIR/<name>-over.ppm. */
static int draw_over(const struct lz16_asset *a, const char *dir) {
    uint16_t band[BAND];
    unsigned char rgb[3 * BAND];
    char path[1024];
    uint32_t at = 0, total = a->width * a->height;
    int32_t n = 0;
    FILE *out;
    snprintf(path, sizeof path, "%s/%s-over.ppm", dir, a->name);
    if (lz16_blend_init(&blend, a->data, a->size, a->alpha, a->alpha_size) != 0 || !(out = fopen(path, "wb"))) {
        fprintf(stderr, "show_assets: %s: cannot draw it\n", a->name);
        return 1;
    }
    fprintf(out, "P6\n%lu %lu\n255\n", (unsigned long)a->width, (unsigned long)a->height);
    for (; at < total; at += (uint32_t)n) {
        const uint32_t want = total - at < BAND ? total - at : BAND;
        for (uint32_t k = 0; k < want; ++k)  /* the screen's pixels under this band */
            band[k] = gradient((at + k) % a->width, (at + k) / a->width, a->width, a->height);
        if ((n = lz16_blend_read(&blend, band, want)) <= 0)
            break;
        for (int32_t k = 0; k < n; ++k) widen(band[k], &rgb[3 * k]);
        fwrite(rgb, 3, (size_t)n, out);
    }
    if (fclose(out) != 0 || at < total || lz16_blend_read(&blend, band, 1) != 0) {
        fprintf(stderr, "show_assets: %s: drawing failed (%ld) at pixel %lu\n", a->name, (long)n, (unsigned long)at);
        return 1;
    }
    printf("%s: %lux%lu with alpha, %lu + %lu bytes, drawn over a gradient\n", a->name, (unsigned long)a->width,
           (unsigned long)a->height, (unsigned long)a->size, (unsigned long)a->alpha_size);
    return 0;
}

/* The next width x height pixels of the stream as a PPM file at path. */
static int write_frame(const char *path, uint32_t width, uint32_t height) {
    uint16_t band[BAND];
    unsigned char rgb[3 * BAND];
    uint32_t left = width * height;
    int32_t n = 0;
    FILE *out = fopen(path, "wb");

    if (!out) {
        perror(path);
        return 1;
    }
    fprintf(out, "P6\n%lu %lu\n255\n", (unsigned long)width, (unsigned long)height);
    while (left > 0 && (n = lz16_stream_read(&stream, band, left < BAND ? left : BAND)) > 0) {
        for (int32_t k = 0; k < n; ++k) {
            const unsigned w = band[k];
            const unsigned r = w >> 11, g = (w >> 6) & 31, b = w & 31;
            rgb[3 * k] = (unsigned char)(r << 3 | r >> 2);
            rgb[3 * k + 1] = (unsigned char)(g << 3 | g >> 2);
            rgb[3 * k + 2] = (unsigned char)(b << 3 | b >> 2);
        }
        fwrite(rgb, 3, (size_t)n, out);
        left -= (uint32_t)n;
    }
    if (fclose(out) != 0 || left > 0) {
        fprintf(stderr, "show_assets: %s: decoding failed (%ld) with %lu pixels to go\n", path, (long)n,
                (unsigned long)left);
        return 1;
    }
    return 0;
}

static int show(const struct lz16_asset *a, const char *dir) {
    char path[1024];
    for (uint32_t k = 0; k < a->frames; ++k) {
        /* Each frame is an lz16 file of its own, unless the frames are joined. */
        const struct lz16_frame *f = a->frame_table ? &a->frame_table[k] : NULL;
        if ((k == 0 || !a->joined) &&
            lz16_stream_init(&stream, f ? a->data + f->offset : a->data, f ? f->size : a->size) != 0) {
            fprintf(stderr, "show_assets: %s: not an lz16 file\n", a->name);
            return 1;
        }
        if (f)
            snprintf(path, sizeof path, "%s/%s-%03lu.ppm", dir, a->name, (unsigned long)k);
        else
            snprintf(path, sizeof path, "%s/%s.ppm", dir, a->name);
        if (write_frame(path, a->width, a->height) != 0)
            return 1;
        if ((!a->joined || k + 1 == a->frames) && lz16_stream_skip(&stream, 1) != 0) {
            fprintf(stderr, "show_assets: %s: more pixels than %lu frame%s of %lux%lu\n", a->name,
                    (unsigned long)a->frames, a->frames == 1 ? "" : "s", (unsigned long)a->width,
                    (unsigned long)a->height);
            return 1;
        }
        if (f)
            printf("%s: frame %lu, %lu ms\n", a->name, (unsigned long)k, (unsigned long)f->delay_ms);
    }
    printf("%s: %lux%lu, %lu frame%s, %lu bytes\n", a->name, (unsigned long)a->width, (unsigned long)a->height,
           (unsigned long)a->frames, a->frames == 1 ? "" : "s", (unsigned long)a->size);
    return 0;
}

int main(int argc, char **argv) {
    int failed = 0;
    if (argc != 2) {
        fprintf(stderr, "usage: show_assets DIR\n");
        return 2;
    }
    for (int k = 0; k < ASSETS_COUNT; ++k) failed |= show(&assets[k], argv[1]);
    for (int k = 0; k < SHEETS_COUNT; ++k) failed |= show(&sheets[k], argv[1]);
    for (int k = 0; k < ICONS_COUNT; ++k) failed |= draw_over(&icons[k], argv[1]);
    return failed;
}
