// The start-up and frame drawing the tools share (capture, stills, the frame tests and
// benchmarks): the demo's own window, resources and drawFrame, driven by a demo time
// the tool chooses instead of the wall clock, and the picture read back.
#pragma once
#include <cstddef>
#include <string>
#include <vector>
#include "app/resources.h"

struct GLFWwindow;

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

// An RGB picture, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

// Opens the window as the demo does: GLFW initialised first (the clock starts),
// a 3.3 core context, fullscreen 1920 x 1080 on the primary monitor, falling back to
// a visible window of that size; context current, resize callback, cursor hidden,
// GL loaded. Null with a reason when no 1920 x 1080 framebuffer could be had.
GLFWwindow* openDemoWindow(std::string& error);

struct DemoState {
    GLFWwindow* window = nullptr;
    SceneResources res;
    LoopValues loop;
    double setupSeconds = 0.0;  // clock reading when the resources were built
};

// The demo's start-up in the current folder (the stage): the window, then every
// resource in the demo's order. False with a reason when no window could be had.
bool startDemo(DemoState& demo, std::string& error);
// The demo's end-of-timeline shutdown.
void endDemo(DemoState& demo);

// Sets the clock so that the scenes' own clock readings agree with demoTime, then draws
// one frame exactly as the frame loop does (without presenting it).
void drawFrameAt(float demoTime, SceneResources& res, LoopValues& loop);

// Some scenes carry state from frame to frame (the ship's scale, the logo left bound);
// a few frames leading up to demoTime set it as a real run would.
void drawFrameAfterLeadIn(float demoTime, SceneResources& res, LoopValues& loop);

// The back buffer of the current frame, flipped to top-down rows.
Picture readFrame();

// Rebuilds one of the scene programs from the given sources, for tools that change
// shaders while they run. The new program takes over the old one's sampler units (the
// set-up sets those once; everything else the scenes set every frame). On a compile or
// link failure the old program stays and `log` says why.
bool rebuildSceneProgram(ShaderProgram& program, const std::string& vertexSource,
                         const std::string& fragmentSource, std::string& log);
