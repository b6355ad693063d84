/* The checksum the device harnesses print and the host compares: FNV-1a
 * over each word's value, low byte then high byte, so that it does not
 * depend on the CPU's byte order. */
#ifndef LZ16DEC_SUM_H
#define LZ16DEC_SUM_H

#include <stddef.h>
#include <stdint.h>

#define LZ16_SUM_START 2166136261u

static uint32_t lz16_sum(uint32_t h, const uint16_t *w, size_t n)
{
    size_t k;
    for (k = 0; k < n; ++k) {
        h = (h ^ (w[k] & 0xFFu)) * 16777619u;
        h = (h ^ (unsigned)(w[k] >> 8)) * 16777619u;
    }
    return h;
}

#endif
