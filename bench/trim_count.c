/* For counting the device decoder's instructions a frame under an
 * emulator: draws every frame of the first asset of device_images.h (a
 * sheet cut into frames by lz16pack --index, trimmed or not) REPS times, as
 * a game showing each frame once would: lz16_unpack for a sheet with a
 * key, lz16_unpack_blend over what out holds for one with alpha planes.
 * bench/trim.py counts a run of 1 and one of 0; the difference is one
 * pass, without start-up.
 *
 *   -DLZ16_REPS=N */
#include "device_images.h"
#include "lz16dec.h"

static uint16_t out[1 << 16];

int main(void)
{
    const struct lz16_asset *a = &device_images[0];
    int r;
    uint32_t k;
    for (r = 0; r < LZ16_REPS; ++r)
        for (k = 0; k < a->frames; ++k) {
            const uint8_t *colour = a->data + a->frame_table[k].offset;
            if (a->alpha)
                lz16_unpack_blend(colour, a->alpha + a->alpha_frame_table[k].offset, out);
            else
                lz16_unpack(colour, out);
        }
    return 0;
}
