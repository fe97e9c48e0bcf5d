/* On Linux the demo links Debian's libstb; for Windows and the browser the same header
   is compiled into the program instead. */
#define STB_IMAGE_IMPLEMENTATION
#include <stb/stb_image.h>
