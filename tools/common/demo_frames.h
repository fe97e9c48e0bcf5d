// The start-up and frame drawing the tools share (capture, stills, the preview, the
// frame tests and benchmarks): the demo's own window, resources and drawFrame, driven
// by a demo time the tool chooses instead of the wall clock, and the picture read back.
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

// A normal, resizable window of the given size for a tool that shows the frames scaled
// (the preview): the same 3.3 core context, current and loaded, but neither the demo's
// resize callback nor a hidden cursor. Null with a reason when none could be had.
GLFWwindow* openToolWindow(int width, int height, const char* title, std::string& error);

struct DemoState {
    GLFWwindow* window = nullptr;
    SceneResources res;
    LoopValues loop;
    double setupSeconds = 0.0;  // clock reading when the resources were built
};

// The demo's start-up in the current folder (the stage): the window, then every
// resource in the demo's order. False with a reason when no window could be had.
bool startDemo(DemoState& demo, std::string& error);
// The same start-up in a window the tool opened itself (demo.window, context current).
void buildDemo(DemoState& demo);
// The demo's end-of-timeline shutdown.
void endDemo(DemoState& demo);

// Sets the clock so that the scenes' own clock readings agree with demoTime, then draws
// one frame exactly as the frame loop does (without presenting it).
void drawFrameAt(float demoTime, SceneResources& res, LoopValues& loop);

// Some scenes carry state from frame to frame (the ship's scale, the logo left bound);
// a few frames leading up to demoTime set it as a real run would.
void drawFrameAfterLeadIn(float demoTime, SceneResources& res, LoopValues& loop);

// A 1920 x 1080 frame off screen, with the depth and stencil the demo's window has. The
// tools draw the scenes into one so that their frames come out alike whatever window
// they have: a driver may rasterise triangle edges into a window's own buffer and into
// a framebuffer object differently.
struct FrameTarget {
    unsigned framebuffer = 0, colour = 0, depthStencil = 0;
};
FrameTarget makeFrameTarget();
void deleteFrameTarget(FrameTarget& target);
// Binds the target for drawing, with the viewport the scenes draw at.
void bindFrameTarget(const FrameTarget& target);

// The frame just drawn, flipped to top-down rows: the window's back buffer, or the
// framebuffer object bound for drawing when a tool draws off screen.
Picture readFrame();
// The same from a framebuffer object's first colour attachment (a tool that draws the
// frames off screen); the frame buffer bindings are left as they were.
Picture readFramebuffer(unsigned framebuffer);

// The timeline's seven scene windows with the demo times that bound them; the first
// opens where the clock starts.
struct TimelineWindow {
    float from, to;
};
constexpr int kTimelineWindowCount = 7;
extern const TimelineWindow kTimelineWindows[kTimelineWindowCount];
// The window, 1 to 7, whose half-open span [from, to) holds demoTime (anything before
// the clock starts counts as the first); 0 from the end of the timeline on.
int sceneWindowAt(float demoTime);

// Rebuilds one of the scene programs from the given sources, for tools that change
// shaders while they run. The new program takes over the old one's sampler units (the
// set-up sets those once; everything else the scenes set every frame). On a compile or
// link failure the old program stays and `log` says why.
bool rebuildSceneProgram(ShaderProgram& program, const std::string& vertexSource,
                         const std::string& fragmentSource, std::string& log);
