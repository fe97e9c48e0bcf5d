// Renders the demo's own frames at chosen demo times and reads them back, for the
// stills tool, the frame benchmark and the tests that look at the pictures.
#pragma once
#include <cstddef>
#include <vector>

struct GLFWwindow;
struct SceneResources;
struct LoopValues;

constexpr int kFrameWidth = 1920;
constexpr int kFrameHeight = 1080;

// An RGB picture, rows top to bottom.
struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char* at(int x, int y) const { return &rgb[(std::size_t(y) * width + x) * 3]; }
};

// The demo's window: fullscreen 1920 x 1080 on the primary monitor, 3.3 core, GL loaded.
// Null when there is no display or no GL 3.3.
GLFWwindow* openDemoWindow();

// Sets the clock so that the scenes' own clock readings agree with demoTime, then draws
// one frame exactly as the frame loop does (without presenting it).
void drawFrameAt(float demoTime, SceneResources& res, LoopValues& loop);

// Some scenes carry state from frame to frame (the ship's scale, the logo left bound);
// a few frames leading up to demoTime set it as a real run would.
void drawFrameAfterLeadIn(float demoTime, SceneResources& res, LoopValues& loop);

// The back buffer of the current frame, flipped to top-down rows.
Picture readFrame();
