// GL call recording: each wrapper logs its call into the current record and forwards
// it to the driver's entry point that glad loaded.
#include "gl_recorder.h"
#include "gfx/gl.h"
#include <algorithm>

namespace {

std::vector<GlCall> record;
std::string lastLookup;
bool recording = false;

GLint currentProgram() {
    GLint program = 0;
    glad_glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

GlCall& log(const char* name, std::initializer_list<long long> ints = {},
            std::initializer_list<float> floats = {}) {
    GlCall call;
    call.name = name;
    call.ints = ints;
    call.floats = floats;
    call.program = static_cast<unsigned>(currentProgram());
    record.push_back(std::move(call));
    return record.back();
}

GlCall& logUniform(const char* name, GLint location) {
    GlCall& call = log(name, {location});
    call.uniform = lastLookup;
    return call;
}


struct Saved {
    PFNGLUSEPROGRAMPROC useProgram;
    PFNGLGETUNIFORMLOCATIONPROC getUniformLocation;
    PFNGLUNIFORM1IPROC uniform1i;
    PFNGLUNIFORM1FPROC uniform1f;
    PFNGLUNIFORM2FPROC uniform2f;
    PFNGLUNIFORM2FVPROC uniform2fv;
    PFNGLUNIFORM3FPROC uniform3f;
    PFNGLUNIFORM3FVPROC uniform3fv;
    PFNGLUNIFORM4FVPROC uniform4fv;
    PFNGLUNIFORMMATRIX4FVPROC uniformMatrix4fv;
    PFNGLACTIVETEXTUREPROC activeTexture;
    PFNGLBINDTEXTUREPROC bindTexture;
    PFNGLBINDVERTEXARRAYPROC bindVertexArray;
    PFNGLBINDBUFFERPROC bindBuffer;
    PFNGLBUFFERDATAPROC bufferData;
    PFNGLDRAWARRAYSPROC drawArrays;
    PFNGLDRAWELEMENTSPROC drawElements;
    PFNGLDRAWELEMENTSINSTANCEDPROC drawElementsInstanced;
    PFNGLDEPTHFUNCPROC depthFunc;
    PFNGLENABLEPROC enable;
    PFNGLCLEARPROC clear;
    PFNGLCLEARCOLORPROC clearColor;
    PFNGLVIEWPORTPROC viewport;
    PFNGLGENTEXTURESPROC genTextures;
    PFNGLTEXIMAGE2DPROC texImage2D;
    PFNGLTEXPARAMETERIPROC texParameteri;
    PFNGLGENERATEMIPMAPPROC generateMipmap;
    PFNGLGENVERTEXARRAYSPROC genVertexArrays;
    PFNGLGENBUFFERSPROC genBuffers;
    PFNGLENABLEVERTEXATTRIBARRAYPROC enableVertexAttribArray;
    PFNGLVERTEXATTRIBPOINTERPROC vertexAttribPointer;
    PFNGLVERTEXATTRIBIPOINTERPROC vertexAttribIPointer;
    PFNGLVERTEXATTRIBDIVISORPROC vertexAttribDivisor;
    PFNGLDELETEVERTEXARRAYSPROC deleteVertexArrays;
    PFNGLDELETEBUFFERSPROC deleteBuffers;
    PFNGLCREATESHADERPROC createShader;
    PFNGLSHADERSOURCEPROC shaderSource;
    PFNGLCOMPILESHADERPROC compileShader;
    PFNGLCREATEPROGRAMPROC createProgram;
    PFNGLATTACHSHADERPROC attachShader;
    PFNGLLINKPROGRAMPROC linkProgram;
    PFNGLDELETESHADERPROC deleteShader;
} real;

long long ptrValue(const void* p) { return static_cast<long long>(reinterpret_cast<intptr_t>(p)); }

void GLAD_API_PTR recUseProgram(GLuint program) {
    real.useProgram(program);
    log("glUseProgram", {program});
}
GLint GLAD_API_PTR recGetUniformLocation(GLuint program, const GLchar* name) {
    GLint location = real.getUniformLocation(program, name);
    lastLookup = name ? name : "";
    GlCall& call = log("glGetUniformLocation", {program, location});
    call.uniform = lastLookup;
    return location;
}
void GLAD_API_PTR recUniform1i(GLint location, GLint v) {
    logUniform("glUniform1i", location).ints.push_back(v);
    real.uniform1i(location, v);
}
void GLAD_API_PTR recUniform1f(GLint location, GLfloat v) {
    logUniform("glUniform1f", location).floats = {v};
    real.uniform1f(location, v);
}
void GLAD_API_PTR recUniform2f(GLint location, GLfloat x, GLfloat y) {
    logUniform("glUniform2f", location).floats = {x, y};
    real.uniform2f(location, x, y);
}
void GLAD_API_PTR recUniform2fv(GLint location, GLsizei count, const GLfloat* v) {
    GlCall& call = logUniform("glUniform2fv", location);
    call.ints.push_back(count);
    call.floats.assign(v, v + 2 * count);
    real.uniform2fv(location, count, v);
}
void GLAD_API_PTR recUniform3f(GLint location, GLfloat x, GLfloat y, GLfloat z) {
    logUniform("glUniform3f", location).floats = {x, y, z};
    real.uniform3f(location, x, y, z);
}
void GLAD_API_PTR recUniform3fv(GLint location, GLsizei count, const GLfloat* v) {
    GlCall& call = logUniform("glUniform3fv", location);
    call.ints.push_back(count);
    call.floats.assign(v, v + 3 * count);
    real.uniform3fv(location, count, v);
}
void GLAD_API_PTR recUniform4fv(GLint location, GLsizei count, const GLfloat* v) {
    GlCall& call = logUniform("glUniform4fv", location);
    call.ints.push_back(count);
    call.floats.assign(v, v + 4 * count);
    real.uniform4fv(location, count, v);
}
void GLAD_API_PTR recUniformMatrix4fv(GLint location, GLsizei count, GLboolean transpose,
                                  const GLfloat* v) {
    GlCall& call = logUniform("glUniformMatrix4fv", location);
    call.ints.push_back(count);
    call.ints.push_back(transpose);
    call.floats.assign(v, v + 16 * count);
    real.uniformMatrix4fv(location, count, transpose, v);
}
void GLAD_API_PTR recActiveTexture(GLenum unit) {
    real.activeTexture(unit);
    log("glActiveTexture", {unit});
}
void GLAD_API_PTR recBindTexture(GLenum target, GLuint texture) {
    real.bindTexture(target, texture);
    log("glBindTexture", {target, texture});
}
void GLAD_API_PTR recBindVertexArray(GLuint vao) {
    real.bindVertexArray(vao);
    log("glBindVertexArray", {vao});
}
void GLAD_API_PTR recBindBuffer(GLenum target, GLuint buffer) {
    real.bindBuffer(target, buffer);
    log("glBindBuffer", {target, buffer});
}
void GLAD_API_PTR recBufferData(GLenum target, GLsizeiptr size, const void* data, GLenum usage) {
    real.bufferData(target, size, data, usage);
    log("glBufferData", {target, static_cast<long long>(size), usage});
}
void GLAD_API_PTR recDrawArrays(GLenum mode, GLint first, GLsizei count) {
    log("glDrawArrays", {mode, first, count});
    real.drawArrays(mode, first, count);
}
void GLAD_API_PTR recDrawElements(GLenum mode, GLsizei count, GLenum type, const void* offset) {
    log("glDrawElements", {mode, count, type, ptrValue(offset)});
    real.drawElements(mode, count, type, offset);
}
void GLAD_API_PTR recDrawElementsInstanced(GLenum mode, GLsizei count, GLenum type,
                                       const void* offset, GLsizei instances) {
    log("glDrawElementsInstanced", {mode, count, type, ptrValue(offset), instances});
    real.drawElementsInstanced(mode, count, type, offset, instances);
}
void GLAD_API_PTR recDepthFunc(GLenum func) {
    real.depthFunc(func);
    log("glDepthFunc", {func});
}
void GLAD_API_PTR recEnable(GLenum cap) {
    real.enable(cap);
    log("glEnable", {cap});
}
void GLAD_API_PTR recClear(GLbitfield mask) {
    log("glClear", {mask});
    real.clear(mask);
}
void GLAD_API_PTR recClearColor(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    real.clearColor(r, g, b, a);
    log("glClearColor", {}, {r, g, b, a});
}
void GLAD_API_PTR recViewport(GLint x, GLint y, GLsizei w, GLsizei h) {
    real.viewport(x, y, w, h);
    log("glViewport", {x, y, w, h});
}
void GLAD_API_PTR recGenTextures(GLsizei n, GLuint* names) {
    real.genTextures(n, names);
    GlCall& call = log("glGenTextures", {n});
    for (GLsizei i = 0; i < n; ++i) call.ints.push_back(names[i]);
}
void GLAD_API_PTR recTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei w,
                            GLsizei h, GLint border, GLenum format, GLenum type,
                            const void* pixels) {
    real.texImage2D(target, level, internalFormat, w, h, border, format, type, pixels);
    log("glTexImage2D", {target, level, internalFormat, w, h, border, format, type,
                         pixels ? 1 : 0});
}
void GLAD_API_PTR recTexParameteri(GLenum target, GLenum name, GLint value) {
    real.texParameteri(target, name, value);
    log("glTexParameteri", {target, name, value});
}
void GLAD_API_PTR recGenerateMipmap(GLenum target) {
    real.generateMipmap(target);
    log("glGenerateMipmap", {target});
}
void GLAD_API_PTR recGenVertexArrays(GLsizei n, GLuint* names) {
    real.genVertexArrays(n, names);
    GlCall& call = log("glGenVertexArrays", {n});
    for (GLsizei i = 0; i < n; ++i) call.ints.push_back(names[i]);
}
void GLAD_API_PTR recGenBuffers(GLsizei n, GLuint* names) {
    real.genBuffers(n, names);
    GlCall& call = log("glGenBuffers", {n});
    for (GLsizei i = 0; i < n; ++i) call.ints.push_back(names[i]);
}
void GLAD_API_PTR recEnableVertexAttribArray(GLuint index) {
    real.enableVertexAttribArray(index);
    log("glEnableVertexAttribArray", {index});
}
void GLAD_API_PTR recVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean norm,
                                     GLsizei stride, const void* offset) {
    real.vertexAttribPointer(index, size, type, norm, stride, offset);
    log("glVertexAttribPointer", {index, size, type, norm, stride, ptrValue(offset)});
}
void GLAD_API_PTR recVertexAttribIPointer(GLuint index, GLint size, GLenum type, GLsizei stride,
                                      const void* offset) {
    real.vertexAttribIPointer(index, size, type, stride, offset);
    log("glVertexAttribIPointer", {index, size, type, stride, ptrValue(offset)});
}
void GLAD_API_PTR recVertexAttribDivisor(GLuint index, GLuint divisor) {
    real.vertexAttribDivisor(index, divisor);
    log("glVertexAttribDivisor", {index, divisor});
}
void GLAD_API_PTR recDeleteVertexArrays(GLsizei n, const GLuint* names) {
    GlCall& call = log("glDeleteVertexArrays", {n});
    for (GLsizei i = 0; i < n; ++i) call.ints.push_back(names[i]);
    real.deleteVertexArrays(n, names);
}
void GLAD_API_PTR recDeleteBuffers(GLsizei n, const GLuint* names) {
    GlCall& call = log("glDeleteBuffers", {n});
    for (GLsizei i = 0; i < n; ++i) call.ints.push_back(names[i]);
    real.deleteBuffers(n, names);
}
GLuint GLAD_API_PTR recCreateShader(GLenum type) {
    GLuint shader = real.createShader(type);
    log("glCreateShader", {type, shader});
    return shader;
}
void GLAD_API_PTR recShaderSource(GLuint shader, GLsizei count, const GLchar* const* strings,
                              const GLint* lengths) {
    GlCall& call = log("glShaderSource", {shader, count, lengths ? 1 : 0});
    if (count > 0 && strings && strings[0]) call.uniform = strings[0];
    real.shaderSource(shader, count, strings, lengths);
}
void GLAD_API_PTR recCompileShader(GLuint shader) {
    real.compileShader(shader);
    log("glCompileShader", {shader});
}
GLuint GLAD_API_PTR recCreateProgram() {
    GLuint program = real.createProgram();
    log("glCreateProgram", {program});
    return program;
}
void GLAD_API_PTR recAttachShader(GLuint program, GLuint shader) {
    real.attachShader(program, shader);
    log("glAttachShader", {program, shader});
}
void GLAD_API_PTR recLinkProgram(GLuint program) {
    real.linkProgram(program);
    log("glLinkProgram", {program});
}
void GLAD_API_PTR recDeleteShader(GLuint shader) {
    real.deleteShader(shader);
    log("glDeleteShader", {shader});
}

// Each row: glad's pointer, where the driver's pointer is saved, the wrapper.
template <typename Fn>
void swap(Fn& gladPointer, Fn& saved, Fn wrapper, bool install) {
    if (install) {
        saved = gladPointer;
        gladPointer = wrapper;
    } else {
        gladPointer = saved;
    }
}

void swapAll(bool install) {
    swap(glad_glUseProgram, real.useProgram, recUseProgram, install);
    swap(glad_glGetUniformLocation, real.getUniformLocation, recGetUniformLocation, install);
    swap(glad_glUniform1i, real.uniform1i, recUniform1i, install);
    swap(glad_glUniform1f, real.uniform1f, recUniform1f, install);
    swap(glad_glUniform2f, real.uniform2f, recUniform2f, install);
    swap(glad_glUniform2fv, real.uniform2fv, recUniform2fv, install);
    swap(glad_glUniform3f, real.uniform3f, recUniform3f, install);
    swap(glad_glUniform3fv, real.uniform3fv, recUniform3fv, install);
    swap(glad_glUniform4fv, real.uniform4fv, recUniform4fv, install);
    swap(glad_glUniformMatrix4fv, real.uniformMatrix4fv, recUniformMatrix4fv, install);
    swap(glad_glActiveTexture, real.activeTexture, recActiveTexture, install);
    swap(glad_glBindTexture, real.bindTexture, recBindTexture, install);
    swap(glad_glBindVertexArray, real.bindVertexArray, recBindVertexArray, install);
    swap(glad_glBindBuffer, real.bindBuffer, recBindBuffer, install);
    swap(glad_glBufferData, real.bufferData, recBufferData, install);
    swap(glad_glDrawArrays, real.drawArrays, recDrawArrays, install);
    swap(glad_glDrawElements, real.drawElements, recDrawElements, install);
    swap(glad_glDrawElementsInstanced, real.drawElementsInstanced, recDrawElementsInstanced,
         install);
    swap(glad_glDepthFunc, real.depthFunc, recDepthFunc, install);
    swap(glad_glEnable, real.enable, recEnable, install);
    swap(glad_glClear, real.clear, recClear, install);
    swap(glad_glClearColor, real.clearColor, recClearColor, install);
    swap(glad_glViewport, real.viewport, recViewport, install);
    swap(glad_glGenTextures, real.genTextures, recGenTextures, install);
    swap(glad_glTexImage2D, real.texImage2D, recTexImage2D, install);
    swap(glad_glTexParameteri, real.texParameteri, recTexParameteri, install);
    swap(glad_glGenerateMipmap, real.generateMipmap, recGenerateMipmap, install);
    swap(glad_glGenVertexArrays, real.genVertexArrays, recGenVertexArrays, install);
    swap(glad_glGenBuffers, real.genBuffers, recGenBuffers, install);
    swap(glad_glEnableVertexAttribArray, real.enableVertexAttribArray,
         recEnableVertexAttribArray, install);
    swap(glad_glVertexAttribPointer, real.vertexAttribPointer, recVertexAttribPointer, install);
    swap(glad_glVertexAttribIPointer, real.vertexAttribIPointer, recVertexAttribIPointer,
         install);
    swap(glad_glVertexAttribDivisor, real.vertexAttribDivisor, recVertexAttribDivisor, install);
    swap(glad_glDeleteVertexArrays, real.deleteVertexArrays, recDeleteVertexArrays, install);
    swap(glad_glDeleteBuffers, real.deleteBuffers, recDeleteBuffers, install);
    swap(glad_glCreateShader, real.createShader, recCreateShader, install);
    swap(glad_glShaderSource, real.shaderSource, recShaderSource, install);
    swap(glad_glCompileShader, real.compileShader, recCompileShader, install);
    swap(glad_glCreateProgram, real.createProgram, recCreateProgram, install);
    swap(glad_glAttachShader, real.attachShader, recAttachShader, install);
    swap(glad_glLinkProgram, real.linkProgram, recLinkProgram, install);
    swap(glad_glDeleteShader, real.deleteShader, recDeleteShader, install);
}

} // namespace

void startRecording() {
    record.clear();
    lastLookup.clear();
    if (!recording) swapAll(true);
    recording = true;
}

std::vector<GlCall> stopRecording() {
    if (recording) swapAll(false);
    recording = false;
    return std::move(record);
}

std::vector<GlCall> callsNamed(const std::vector<GlCall>& calls, const std::string& name) {
    std::vector<GlCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found),
                 [&](const GlCall& call) { return call.name == name; });
    return found;
}

std::vector<GlCall> uniformSets(const std::vector<GlCall>& calls, const std::string& uniform) {
    std::vector<GlCall> found;
    std::copy_if(calls.begin(), calls.end(), std::back_inserter(found), [&](const GlCall& c) {
        return c.name.rfind("glUniform", 0) == 0 && c.uniform == uniform;
    });
    return found;
}

std::vector<std::string> callNames(const std::vector<GlCall>& calls,
                                   const std::vector<std::string>& keep) {
    std::vector<std::string> names;
    for (const GlCall& call : calls) {
        if (keep.empty() || std::find(keep.begin(), keep.end(), call.name) != keep.end())
            names.push_back(call.name);
    }
    return names;
}
