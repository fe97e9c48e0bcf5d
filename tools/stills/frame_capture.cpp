// Drawing single frames of the demo at chosen demo times, and reading them back.
#include "frame_capture.h"
#include "app/resources.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <cstring>

namespace {

constexpr float kLeadIn = 0.2f;      // seconds of frames drawn before a still
constexpr int kLeadInFrames = 4;

} // namespace

GLFWwindow* openDemoWindow() {
    if (!glfwInit()) return nullptr;
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(kFrameWidth, kFrameHeight, "", glfwGetPrimaryMonitor(), nullptr);
    if (!window) return nullptr;
    glfwMakeContextCurrent(window);
    if (!gladLoadGL(glfwGetProcAddress)) return nullptr;
    glViewport(0, 0, kFrameWidth, kFrameHeight);
    return window;
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

Picture readFrame() {
    Picture picture;
    picture.width = kFrameWidth;
    picture.height = kFrameHeight;
    picture.rgb.resize(size_t(kFrameWidth) * kFrameHeight * 3);
    std::vector<unsigned char> bottomUp(picture.rgb.size());
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, kFrameWidth, kFrameHeight, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    const size_t row = size_t(kFrameWidth) * 3;
    for (int y = 0; y < kFrameHeight; ++y)
        std::memcpy(&picture.rgb[y * row], &bottomUp[(kFrameHeight - 1 - y) * row], row);
    return picture;
}
