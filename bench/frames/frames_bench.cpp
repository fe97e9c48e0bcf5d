// Frame time of each scene window at 1920 x 1080 with the real content: frames spread
// over the window, each drawn and presented, timed to completion; median per window.
// Beside the wall time, the CPU time the process spent on the frame (all rasteriser
// threads): on a machine shared with other work it shows what the frame itself costs.
#include "app/resources.h"
#include "frame_capture.h"
#include "gfx/gl.h"
#include <GLFW/glfw3.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct Span {
    const char* name;
    float from, to;     // demoTime range sampled, inside the window
};

// name                      from     to
const Span kSpans[] = {
    {"clear and present only", 43.0f,   43.0f},   // window 3 draws nothing at exactly 43
    {"1 picture, donut",       1.6f,    5.9f},
    {"1 donut, title sky",     6.1f,   19.9f},
    {"2 planet, credits sky", 20.1f,   39.9f},
    {"3 tunnel picture",      40.1f,   42.9f},
    {"3 chrome ship, sky",    45.1f,   94.9f},
    {"4 glass ships, sky",    95.1f,  129.9f},
    {"5 ducks, sky",         130.1f,  159.9f},
    {"6 greetings, sky",     160.1f,  246.9f},
    {"7 closing logo",       247.1f,  264.9f},
};

constexpr int kFramesPerSpan = 24;
constexpr double kGoalMs = 1000.0 / 30.0;

double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec * 1e-6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main() {
    std::filesystem::current_path(NORRVALE_STAGE);
    GLFWwindow* window = openDemoWindow();
    if (!window) {
        std::printf("bench_frames: no GL 3.3 window (run under xvfb-run)\n");
        return 1;
    }
    SceneResources res;
    LoopValues loop;
    buildSceneResources(res, loop);

    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    std::printf("frame time per scene window, %d x %d, %s, median of %d frames\n",
                kFrameWidth, kFrameHeight, renderer ? renderer : "?", kFramesPerSpan);
    std::printf("  %-24s %10s %10s %8s %8s   %s\n", "window", "median ms", "worst ms", "fps", "cpu ms", "goal 30 fps");
    for (const Span& span : kSpans) {
        // The windows 3 to 5 draw with the projection window 2 leaves behind.
        drawFrameAt(30.0f, res, loop);
        drawFrameAfterLeadIn(span.from, res, loop);
        glfwSwapBuffers(window);
        glFinish();
        std::vector<double> ms, cpuMs;
        for (int i = 0; i < kFramesPerSpan; ++i) {
            float t = span.from + (span.to - span.from) * float(i) / float(kFramesPerSpan - 1);
            Clock::time_point start = Clock::now();
            double cpuStart = processCpuMs();
            drawFrameAt(t, res, loop);
            glfwSwapBuffers(window);
            glFinish();
            cpuMs.push_back(processCpuMs() - cpuStart);
            ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
        double wall = median(ms);
        std::printf("  %-24s %10.1f %10.1f %8.1f %8.1f   %s\n", span.name, wall,
                    *std::max_element(ms.begin(), ms.end()), 1000.0 / wall, median(cpuMs),
                    wall <= kGoalMs ? "met" : "MISSED");
    }
    glfwTerminate();
    releaseSceneResources(res);
    return 0;
}
