/* For counting the device decoder's instructions a pixel under an
 * emulator: runs one entry point REPS times on the first image of
 * device_images.h (lz16pack --index), unchecked. The script counts a run of
 * 2 and one of 1; the difference is one run, without start-up.
 *
 *   -DLZ16_ENTRY=E (1 unpack, 2 decode, 3 stream in reads of 256 pixels,
 *   4 one skip of all of it) -DLZ16_REPS=N
 * Built hosted (Linux under qemu-user), or bare with the device harness's
 * start file, which gives lz16_exit. */
#include "device_images.h"
#include "lz16dec.h"

void lz16_exit(int status);

static struct lz16_stream s;
static uint16_t out[1 << 16];

int main(void)
{
    const struct lz16_asset *a = &device_images[0];
    int k;
    for (k = 0; k < LZ16_REPS; ++k) {
        if (LZ16_ENTRY == 1) {
            lz16_unpack(a->data, out);
        } else if (LZ16_ENTRY == 2) {
            lz16_decode(a->data, a->size, out, sizeof out / sizeof out[0]);
        } else {
            lz16_stream_init(&s, a->data, a->size);
            while ((LZ16_ENTRY == 3 ? lz16_stream_read(&s, out, 256) : lz16_stream_skip(&s, (size_t)-1)) > 0)
                ;
        }
    }
#ifdef __riscv
    lz16_exit(0);
#endif
    return 0;
}
