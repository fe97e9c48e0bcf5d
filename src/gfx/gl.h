// One include for the GL entry points: glad's generated loader, always before GLFW
// so that GLFW does not pull in a system GL header of its own. The browser build has
// no loader to run; it gets WebGL 2 through emscripten's GL layer instead (gl_web.h).
#pragma once
#ifdef __EMSCRIPTEN__
#include "gfx/gl_web.h"
#else
#include <glad/gl.h>
#endif
