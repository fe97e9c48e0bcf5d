// The tools' start-up, single frames at chosen demo times, readback, program rebuilds.
#include "demo_frames.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include "input/input.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <cstring>

namespace {

constexpr float kLeadIn = 0.2f;      // seconds of frames drawn before a still
constexpr int kLeadInFrames = 4;

bool framebufferIs(GLFWwindow* window, int width, int height) {
    int w = 0, h = 0;
    glfwGetFramebufferSize(window, &w, &h);
    return w == width && h == height;
}

// The context every tool draws the scenes in: the demo's own request.
void askForDemoContext() {
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
}

} // namespace

GLFWwindow* openDemoWindow(std::string& error) {
    if (!glfwInit()) {
        error = "no display to open a window on (run it under xvfb-run)";
        return nullptr;
    }
    askForDemoContext();

    GLFWwindow* window = glfwCreateWindow(kFrameWidth, kFrameHeight, "", glfwGetPrimaryMonitor(), nullptr);
    if (window && !framebufferIs(window, kFrameWidth, kFrameHeight)) {
        // A monitor without a 1920 x 1080 mode: the frames must still be that size.
        glfwDestroyWindow(window);
        window = nullptr;
    }
    if (!window) {
        glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
        window = glfwCreateWindow(kFrameWidth, kFrameHeight, "norrvale", nullptr, nullptr);
    }
    if (!window || !framebufferIs(window, kFrameWidth, kFrameHeight)) {
        error = "cannot open a 1920 x 1080 OpenGL 3.3 core window";
        if (window) glfwDestroyWindow(window);
        glfwTerminate();
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    glfwSetFramebufferSizeCallback(window, onFramebufferResize);
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);
    if (!gladLoadGL(glfwGetProcAddress)) {
        error = "cannot load the OpenGL entry points";
        glfwTerminate();
        return nullptr;
    }
    return window;
}

GLFWwindow* openToolWindow(int width, int height, const char* title, std::string& error) {
    if (!glfwInit()) {
        error = "no display to open a window on";
        return nullptr;
    }
    glfwDefaultWindowHints();
    askForDemoContext();
    glfwWindowHint(GLFW_RESIZABLE, GLFW_TRUE);
    GLFWwindow* window = glfwCreateWindow(width, height, title, nullptr, nullptr);
    if (!window) {
        error = "cannot open an OpenGL 3.3 core window";
        return nullptr;
    }
    glfwMakeContextCurrent(window);
    if (!gladLoadGL(glfwGetProcAddress)) {
        error = "cannot load the OpenGL entry points";
        glfwDestroyWindow(window);
        return nullptr;
    }
    return window;
}

bool startDemo(DemoState& demo, std::string& error) {
    demo.window = openDemoWindow(error);
    if (!demo.window) return false;
    buildDemo(demo);
    return true;
}

void buildDemo(DemoState& demo) {
    buildSceneResources(demo.res, demo.loop);
    demo.setupSeconds = glfwGetTime();
}

void endDemo(DemoState& demo) {
    deleteShutdownGeometry(demo.res.geometry, LoopEnd::timelineOver);
    glfwTerminate();
    demo.window = nullptr;
    releaseSceneResources(demo.res);
}

void drawFrameAt(float demoTime, SceneResources& res, LoopValues& loop) {
    // The scenes read the clock again themselves; they must find it at this instant.
    glfwSetTime(double(demoTime) + double(kDemoClockOffset));
    drawFrame(demoTime, res, loop);
}

void drawFrameAfterLeadIn(float demoTime, SceneResources& res, LoopValues& loop) {
    for (int i = kLeadInFrames; i > 0; --i)
        drawFrameAt(demoTime - kLeadIn * float(i) / float(kLeadInFrames), res, loop);
    drawFrameAt(demoTime, res, loop);
}

FrameTarget makeFrameTarget() {
    FrameTarget target;
    glGenRenderbuffers(1, &target.colour);
    glBindRenderbuffer(GL_RENDERBUFFER, target.colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kFrameWidth, kFrameHeight);
    glGenRenderbuffers(1, &target.depthStencil);
    glBindRenderbuffer(GL_RENDERBUFFER, target.depthStencil);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, kFrameWidth, kFrameHeight);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGenFramebuffers(1, &target.framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, target.colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                              target.depthStencil);
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));
    return target;
}

void deleteFrameTarget(FrameTarget& target) {
    glDeleteFramebuffers(1, &target.framebuffer);
    glDeleteRenderbuffers(1, &target.colour);
    glDeleteRenderbuffers(1, &target.depthStencil);
    target = FrameTarget();
}

void bindFrameTarget(const FrameTarget& target) {
    glBindFramebuffer(GL_FRAMEBUFFER, target.framebuffer);
    glViewport(0, 0, kFrameWidth, kFrameHeight);
}

namespace {

// Whatever the current read buffer holds, as top-down rows.
Picture readTopDown() {
    Picture picture;
    picture.width = kFrameWidth;
    picture.height = kFrameHeight;
    picture.rgb.resize(size_t(kFrameWidth) * kFrameHeight * 3);
    std::vector<unsigned char> bottomUp(picture.rgb.size());
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    const size_t row = size_t(kFrameWidth) * 3;
    for (int y = 0; y < kFrameHeight; ++y)
        std::memcpy(&picture.rgb[y * row], &bottomUp[(kFrameHeight - 1 - y) * row], row);
    return picture;
}

} // namespace

Picture readFrame() {
    GLint drawnInto = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawnInto);
    if (drawnInto != 0) return readFramebuffer(GLuint(drawnInto));
    glReadBuffer(GL_BACK);
    return readTopDown();
}

Picture readFramebuffer(unsigned framebuffer) {
    GLint previous = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &previous);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    Picture picture = readTopDown();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(previous));
    return picture;
}

//   from     to       (demoTime)
const TimelineWindow kTimelineWindows[kTimelineWindowCount] = {
    {-kDemoClockOffset, 20.0f},
    {20.0f,             40.0f},
    {40.0f,             95.0f},
    {95.0f,             130.0f},
    {130.0f,            160.0f},
    {160.0f,            247.0f},
    {247.0f,            kTimelineEnd},
};

int sceneWindowAt(float demoTime) {
    for (int i = 0; i < kTimelineWindowCount; ++i)
        if (demoTime < kTimelineWindows[i].to) return i + 1;
    return 0;
}

namespace {

std::string shaderLog(GLuint shader) {
    GLint length = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &length);
    std::string log(size_t(std::max(length, 1)), '\0');
    glGetShaderInfoLog(shader, length, nullptr, log.data());
    log.resize(std::strlen(log.c_str()));
    return log;
}

GLuint compiled(GLenum type, const std::string& source, const char* kind, std::string& log) {
    GLuint shader = glCreateShader(type);
    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        log += std::string(kind) + ": " + shaderLog(shader);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

// Sampler uniforms keep the unit the set-up gave them; read them off the old program.
void copySamplerUnits(GLuint from, GLuint to) {
    GLint count = 0;
    glGetProgramiv(from, GL_ACTIVE_UNIFORMS, &count);
    GLint current = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    glUseProgram(to);
    for (GLint i = 0; i < count; ++i) {
        char name[256];
        GLint size = 0;
        GLenum type = 0;
        glGetActiveUniform(from, GLuint(i), sizeof name, nullptr, &size, &type, name);
        if (type != GL_SAMPLER_2D && type != GL_SAMPLER_CUBE) continue;
        GLint unit = 0;
        glGetUniformiv(from, glGetUniformLocation(from, name), &unit);
        glUniform1i(glGetUniformLocation(to, name), unit);
    }
    glUseProgram(GLuint(current));
}

} // namespace

bool rebuildSceneProgram(ShaderProgram& program, const std::string& vertexSource,
                         const std::string& fragmentSource, std::string& log) {
    log.clear();
    GLuint vertex = compiled(GL_VERTEX_SHADER, vertexSource, "vertex", log);
    GLuint fragment = compiled(GL_FRAGMENT_SHADER, fragmentSource, "fragment", log);
    if (!vertex || !fragment) {
        if (vertex) glDeleteShader(vertex);
        if (fragment) glDeleteShader(fragment);
        return false;
    }
    GLuint id = glCreateProgram();
    glAttachShader(id, vertex);
    glAttachShader(id, fragment);
    glLinkProgram(id);
    glDeleteShader(vertex);
    glDeleteShader(fragment);
    GLint linked = 0;
    glGetProgramiv(id, GL_LINK_STATUS, &linked);
    if (!linked) {
        GLint length = 0;
        glGetProgramiv(id, GL_INFO_LOG_LENGTH, &length);
        std::string text(size_t(std::max(length, 1)), '\0');
        glGetProgramInfoLog(id, length, nullptr, text.data());
        log += "link: " + std::string(text.c_str());
        glDeleteProgram(id);
        return false;
    }
    copySamplerUnits(program.id, id);
    glDeleteProgram(program.id);
    program.id = id;
    return true;
}
