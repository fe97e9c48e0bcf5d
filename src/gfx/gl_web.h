// The browser's GL: emscripten's OpenGL ES 3.0 layer over WebGL 2, with the desktop
// names the program uses that ES lacks, and the few calls WebGL 2 must be given
// differently routed through gl_web.cpp, where the table of differences lives.
#pragma once
#include <GLES3/gl3.h>

// Desktop GL 3.3 switches with no ES counterpart; gl_web.cpp says what becomes of them.
#define GL_PROGRAM_POINT_SIZE 0x8642
#define GL_TEXTURE_CUBE_MAP_SEAMLESS 0x884F

// The entry points are linked in, not looked up: there is nothing to load, and the
// loader's success is what the desktop path expects.
template <typename ProcLookup>
inline int gladLoadGL(ProcLookup) {
    return 1;
}

// The calls that differ on WebGL 2. Everything else goes to emscripten's GL layer
// unchanged, with the program's own values and in its own order.
void webglEnable(GLenum cap);
void webglTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                     GLsizei height, GLint border, GLenum format, GLenum type,
                     const void* pixels);
void webglShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings,
                       const GLint* lengths);
#define glEnable webglEnable
#define glTexImage2D webglTexImage2D
#define glShaderSource webglShaderSource
