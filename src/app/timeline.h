// The frame loop: one clock reading per frame picks the scene window to draw.
#pragma once

struct GLFWwindow;
struct SceneResources;
struct LoopValues;

constexpr float kDemoClockOffset = 13.0f;  // seconds of clock before demo second 0
constexpr float kTimelineEnd = 265.0f;

enum class LoopEnd { closeRequested, timelineOver };

// The scene of every window whose open interval holds demoTime (at most one does).
void drawTimeline(float demoTime, SceneResources& res, LoopValues& loop);

// Clears, draws the timeline's scene and decides whether the frame is presented.
// Returns false when demoTime has passed the end: that frame is not presented.
bool drawFrame(float demoTime, SceneResources& res, LoopValues& loop);

LoopEnd runFrameLoop(GLFWwindow* window, SceneResources& res, LoopValues& loop);
