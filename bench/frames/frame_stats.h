// Frame times of a whole run, per scene window: the figures the frame benchmark prints
// and the plot it draws of them.
#pragma once
#include <cstddef>
#include <istream>
#include <string>
#include <vector>

struct FrameSample {
    float demoTime = 0.0f;
    double wallMs = 0.0;
    double cpuMs = 0.0;     // process CPU time, all rasteriser threads together
};

// window  first second  last second  what it shows
struct SceneWindow {
    int number;
    float from, to;         // open interval; window 1 has no lower bound
    const char* shows;
};
extern const SceneWindow kSceneWindows[7];

constexpr double kSixtyFpsMs = 1000.0 / 60.0;
constexpr double kHitchMs = 33.0;

// The window whose open interval holds demoTime, 1 to 7; 0 on a bound or past the end.
int sceneWindowOf(float demoTime);

// Nearest-rank percentile (p in 0..100) of values; 0 for none.
double percentile(std::vector<double> values, double p);

struct WindowStats {
    int window = 0;
    size_t frames = 0;
    double medianMs = 0.0, p99Ms = 0.0, worstMs = 0.0;
    float worstAt = 0.0f;           // demoTime of the worst frame
    double firstMs = 0.0;           // the window's first frame, when its programs first draw
    double cpuMedianMs = 0.0;
    size_t overSixtyFps = 0, overHitch = 0;
};

// One entry per window that has frames, in timeline order.
std::vector<WindowStats> summarizeWindows(const std::vector<FrameSample>& frames);

struct FrameLog {
    std::string renderer;
    std::vector<FrameSample> frames;
};

// "# renderer NAME", then lines of "demoTime wall_ms cpu_ms", as the clock shim writes
// them; other lines are skipped.
FrameLog parseFrameLog(std::istream& in);

// Frame time over demo time: the seven windows shaded and named, the 16.7 ms and 33 ms
// lines, and every frame over 33 ms marked.
std::string frameTimeSvg(const std::vector<FrameSample>& frames, const std::string& title);

// A before and after measured in rounds, each round one held instant drawn by both
// stages back to back: this machine's speed drifts by a fifth over tens of seconds, so
// only ratios taken within a round compare the two.
struct PairedRound {
    double baseMs = 0.0, otherMs = 0.0;     // median frame of each stage in this round
};
struct PairedFigures {
    double baseMs = 0.0, otherMs = 0.0;     // medians over the rounds
    double ratio = 0.0, lowestRatio = 0.0, highestRatio = 0.0;  // other / base, per round
};
PairedFigures pairRounds(const std::vector<PairedRound>& rounds);
