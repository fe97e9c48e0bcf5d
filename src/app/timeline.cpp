// The frame loop and the timeline of seven scene windows, each an open interval of
// demoTime tested on its own, so that a frame exactly on a bound draws nothing.
#include "app/timeline.h"
#include "app/resources.h"
#include "gfx/gl.h"
#include "input/input.h"
#include "scenes/scenes.h"
#include <GLFW/glfw3.h>

void drawTimeline(float demoTime, SceneResources& res, LoopValues& loop) {
    if (demoTime < 20.0f) drawOpening(demoTime, res, loop);
    if (demoTime > 20.0f && demoTime < 40.0f) drawCredits(demoTime, res, loop);
    if (demoTime > 40.0f && demoTime < 95.0f) drawHelsinki(demoTime, res, loop);
    if (demoTime > 95.0f && demoTime < 130.0f) drawTwoShedCity(demoTime, res, loop);
    if (demoTime > 130.0f && demoTime < 160.0f) drawDuckCity(demoTime, res, loop);
    if (demoTime > 160.0f && demoTime < 247.0f) drawGreetings(demoTime, res, loop);
    if (demoTime > 247.0f && demoTime < 265.0f) drawClosingLogo(demoTime, res, loop);
}

bool drawFrame(float demoTime, SceneResources& res, LoopValues& loop) {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawTimeline(demoTime, res, loop);
    return !(demoTime > kTimelineEnd);
}

LoopEnd runFrameLoop(GLFWwindow* window, SceneResources& res, LoopValues& loop) {
    while (!glfwWindowShouldClose(window)) {
        handleKeys(window);
        // The clock counts from GLFW's initialisation, so the time spent loading
        // shortens the first window instead of delaying the timeline.
        float demoTime = static_cast<float>(glfwGetTime()) - kDemoClockOffset;
        if (!drawFrame(demoTime, res, loop)) return LoopEnd::timelineOver;
        glfwSwapBuffers(window);
        glfwPollEvents();
    }
    return LoopEnd::closeRequested;
}
