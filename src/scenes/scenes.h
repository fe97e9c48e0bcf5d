// The seven scene windows of the timeline, one source each. Every scene takes the
// frame's demoTime, the resources and the loop values, and reads the clock afresh
// wherever its formulas use the undelayed time.
#pragma once

struct SceneResources;
struct LoopValues;

void drawOpening(float demoTime, SceneResources& res, LoopValues& loop);      // demoTime < 20
void drawCredits(float demoTime, SceneResources& res, LoopValues& loop);      // 20 .. 40
void drawHelsinki(float demoTime, SceneResources& res, LoopValues& loop);     // 40 .. 95
void drawTwoShedCity(float demoTime, SceneResources& res, LoopValues& loop);  // 95 .. 130
void drawDuckCity(float demoTime, SceneResources& res, LoopValues& loop);     // 130 .. 160
void drawGreetings(float demoTime, SceneResources& res, LoopValues& loop);    // 160 .. 247
void drawClosingLogo(float demoTime, SceneResources& res, LoopValues& loop);  // 247 .. 265
