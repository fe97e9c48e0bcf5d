// Where the browser's WebGL 2 and the desktop's GL 3.3 core part ways, one row per
// difference with its reason; the calls below apply the rows and pass everything else
// on untouched. The browser tests read the same table (norrvaleWebglDifferences) to
// tell these calls from a real divergence between the two builds.
#include "gfx/gl_web.h"
#include <cstring>
#include <string>
#include <emscripten/emscripten.h>

#undef glEnable
#undef glTexImage2D
#undef glShaderSource

namespace {

struct WebglDifference {
    const char* call;
    unsigned value;        // the enum the row is about (0 for the shader text)
    unsigned replacement;  // what is passed instead; 0: the call is not made
    const char* why;
};

// clang-format off
//   call              value                         replacement  why
constexpr WebglDifference kWebglDifferences[] = {
    {"glEnable",       GL_PROGRAM_POINT_SIZE,        0,           "WebGL 2 always takes gl_PointSize from the vertex shader and rejects the switch (INVALID_ENUM)"},
    {"glEnable",       GL_TEXTURE_CUBE_MAP_SEAMLESS, 0,           "cube maps are always seamless in WebGL 2, which rejects the switch (INVALID_ENUM)"},
    {"glTexImage2D",   GL_RED,                       GL_R8,       "ES 3.0 has no unsized one-channel internal format"},
    {"glTexImage2D",   GL_RG,                        GL_RG8,      "ES 3.0 has no unsized two-channel internal format"},
    {"glShaderSource", 0,                            0,           "WebGL 2 compiles GLSL ES 3.00 only: '#version 330 core' becomes '#version 300 es' on the first line and 'precision highp float;' where the desktop line was (ES has no default float precision for fragment shaders); the files stay desktop GLSL"},
};
// clang-format on

const WebglDifference* differenceFor(const char* call, unsigned value) {
    for (const WebglDifference& d : kWebglDifferences)
        if (std::strcmp(d.call, call) == 0 && d.value == value) return &d;
    return nullptr;
}

constexpr const char* kDesktopVersion = "#version 330 core";
// On a line of its own at the very top, as GLSL ES wants it; the desktop line (after
// the files' opening comments) becomes the precision statement, so later line numbers
// in a driver log are off by one only.
constexpr const char* kWebVersion = "#version 300 es\n";
constexpr const char* kWebPrecision = "precision highp float;";

std::string toWebGlsl(const std::string& source) {
    const size_t at = source.find(kDesktopVersion);
    if (at == std::string::npos) return source;
    std::string web = kWebVersion;
    web += source.substr(0, at);
    web += kWebPrecision;
    web += source.substr(at + std::strlen(kDesktopVersion));
    return web;
}

}  // namespace

void webglEnable(GLenum cap) {
    if (!differenceFor("glEnable", cap)) glEnable(cap);
}

void webglTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                     GLsizei height, GLint border, GLenum format, GLenum type,
                     const void* pixels) {
    if (const WebglDifference* d = differenceFor("glTexImage2D", unsigned(internalFormat)))
        internalFormat = GLint(d->replacement);
    glTexImage2D(target, level, internalFormat, width, height, border, format, type, pixels);
}

void webglShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings,
                       const GLint* lengths) {
    std::string source;
    for (GLsizei i = 0; i < count; ++i)
        source.append(strings[i], lengths && lengths[i] >= 0 ? size_t(lengths[i]) : std::strlen(strings[i]));
    const std::string web = toWebGlsl(source);
    const GLchar* text = web.c_str();
    glShaderSource(shader, 1, &text, nullptr);
}

// The table as JSON for the browser tests: [{"call":..,"value":..,"replacement":..}, ...].
extern "C" EMSCRIPTEN_KEEPALIVE const char* norrvaleWebglDifferences() {
    static std::string json;
    if (json.empty()) {
        json = "[";
        for (const WebglDifference& d : kWebglDifferences) {
            if (json.size() > 1) json += ",";
            json += std::string("{\"call\":\"") + d.call + "\",\"value\":" + std::to_string(d.value) +
                    ",\"replacement\":" + std::to_string(d.replacement) + "}";
        }
        json += "]";
    }
    return json.c_str();
}
