/* stb's image resizer, compiled once for the web page's build (natively,
 * Debian's libstb holds it). */
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>
