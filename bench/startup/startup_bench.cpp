// Measures what the demo's start-up costs the first scene window: GLFW initialisation
// to the first presented frame, split into window, resources and first frame.
#include "app/resources.h"
#include "app/timeline.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

struct StartupTimes {
    double window = 0, resources = 0, firstFrame = 0, total = 0;
};

bool measureOnce(StartupTimes& t) {
    Clock::time_point start = Clock::now();
    glfwInit();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 3);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    GLFWwindow* window = glfwCreateWindow(1920, 1080, "", glfwGetPrimaryMonitor(), nullptr);
    if (!window) return false;
    glfwMakeContextCurrent(window);
    if (!gladLoadGL(glfwGetProcAddress)) return false;
    t.window = secondsSince(start);

    SceneResources res;
    LoopValues loop;
    buildSceneResources(res, loop);
    glFinish();
    t.resources = secondsSince(start) - t.window;

    drawFrame(static_cast<float>(glfwGetTime()) - kDemoClockOffset, res, loop);
    glfwSwapBuffers(window);
    glFinish();
    t.total = secondsSince(start);
    t.firstFrame = t.total - t.window - t.resources;
    glfwTerminate();
    return true;
}

} // namespace

int main() {
    std::filesystem::current_path(NORRVALE_STAGE);
    const int runs = 5;
    std::vector<StartupTimes> all;
    for (int i = 0; i < runs; ++i) {
        StartupTimes t;
        if (!measureOnce(t)) {
            std::printf("bench_startup: no GL 3.3 window (run under xvfb-run)\n");
            return 1;
        }
        all.push_back(t);
    }
    auto median = [&](double StartupTimes::*field) {
        std::vector<double> v;
        for (const StartupTimes& t : all) v.push_back(t.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("start-up, median of %d runs (seconds)\n", runs);
    std::printf("  window and GL      %.3f\n", median(&StartupTimes::window));
    std::printf("  resource set-up    %.3f\n", median(&StartupTimes::resources));
    std::printf("  first frame        %.3f\n", median(&StartupTimes::firstFrame));
    std::printf("  total              %.3f   (goal: under 0.500)\n", median(&StartupTimes::total));
    return 0;
}
