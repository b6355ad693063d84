/*
 * Decodes every asset of the index band by band, as a display driver
 * would, and writes each as a binary PPM, its 5-bit channels widened to
 * 8 bits: show_assets DIR writes DIR/<name>.ppm.
 */
#include <stdio.h>
#include <string.h>

#include "assets.h"
#include "lz16dec.h"

enum { BAND = 256 }; /* pixels decoded at a time */

static int show(const struct lz16_asset *a, const char *dir) {
    static struct lz16_stream stream; /* 4 KiB: too big for some stacks */
    uint16_t band[BAND];
    unsigned char rgb[3 * BAND];
    char path[1024];
    uint32_t total = 0;
    int32_t n;
    FILE *out;

    if (lz16_stream_init(&stream, a->data, a->size) != 0) {
        fprintf(stderr, "show_assets: %s: not an lz16 file\n", a->name);
        return 1;
    }
    snprintf(path, sizeof path, "%s/%s.ppm", dir, a->name);
    out = fopen(path, "wb");
    if (!out) {
        perror(path);
        return 1;
    }
    fprintf(out, "P6\n%lu %lu\n255\n", (unsigned long)a->width, (unsigned long)a->height);
    while ((n = lz16_stream_read(&stream, band, BAND)) > 0) {
        for (int32_t k = 0; k < n; ++k) {
            const unsigned w = band[k];
            const unsigned r = w >> 11, g = (w >> 6) & 31, b = w & 31;
            rgb[3 * k] = (unsigned char)(r << 3 | r >> 2);
            rgb[3 * k + 1] = (unsigned char)(g << 3 | g >> 2);
            rgb[3 * k + 2] = (unsigned char)(b << 3 | b >> 2);
        }
        fwrite(rgb, 3, (size_t)n, out);
        total += (uint32_t)n;
    }
    if (fclose(out) != 0 || n < 0 || total != a->width * a->height) {
        fprintf(stderr, "show_assets: %s: decoding failed (%ld) after %lu pixels\n", a->name, (long)n,
                (unsigned long)total);
        return 1;
    }
    printf("%s: %lux%lu, %lu bytes\n", a->name, (unsigned long)a->width, (unsigned long)a->height,
           (unsigned long)a->size);
    return 0;
}

int main(int argc, char **argv) {
    int failed = 0;
    if (argc != 2) {
        fprintf(stderr, "usage: show_assets DIR\n");
        return 2;
    }
    for (int k = 0; k < ASSETS_COUNT; ++k) failed |= show(&assets[k], argv[1]);
    return failed;
}
