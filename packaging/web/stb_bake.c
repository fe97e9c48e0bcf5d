/* The browser build's baker: Linux links Debian's libstb for the glyph rasteriser and the
   noise, the wasm one compiles the same headers in. */
#define STB_TRUETYPE_IMPLEMENTATION
#include <stb/stb_truetype.h>
#define STB_PERLIN_IMPLEMENTATION
#include <stb/stb_perlin.h>
