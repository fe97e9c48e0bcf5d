// The photosensitivity analyser: every frame's linear relative luminance and red
// saturation, averaged over small blocks and followed through time, judged over local
// 10-degree windows (416 x 416 at 1920 x 1080) against the general-flash, red-flash,
// extended-flashing and regular-stripe limits; and the verdict, per-frame table,
// summary and plot it writes.
//
// Index
//   [limits]    the thresholds and why each has its value
//   [layout]    blocks and windows for a frame size
//   [analysis]  the per-frame state and what one frame yields
//   [report]    stretches that do not pass, verdict, CSV, JSON, SVG
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// =================================================================================
// [limits]
// =================================================================================

// A general flash: opposing changes of relative luminance (linear, 0 to 1) of at least
// this much, where the darker state lies below kDarkerStateLimit.
constexpr float kFlashChange = 0.10f;
constexpr float kDarkerStateLimit = 0.80f;
// A red flash: the change of the saturated-red measure, (R - G - B) * 320 on linear
// values where R / (R + G + B) >= kRedShare, must exceed this.
constexpr float kRedChange = 20.0f;
constexpr float kRedShare = 0.8f;
constexpr float kRedScale = 320.0f;
// Transitions (half a flash each) in any one second: more than three flashes fails;
// two or more warns, where the open analyser warns at four to six transitions.
constexpr int kFailTransitions = 7;
constexpr int kWarnTransitions = 4;
// A flash counts when it covers more than this share of one window.
constexpr double kAreaShare = 0.25;
// The window: 10 degrees of view on a 23-inch 1920 x 1080 screen at 71 cm.
constexpr int kWindowSide1080 = 416;
// Luminance and red are averaged over square blocks of this side (at 1080p) before
// they are compared between frames: 104 x 104 blocks a window, so a quarter of a window
// is still 2,700 blocks, and an encoder's noise mostly averages out.
constexpr int kBlockSide1080 = 4;
// Blocks flash together when their transitions fall in the same frame, or the next at
// 60 fps: a flash reaches its whole area at once, while the edges of a moving picture
// pass its blocks one after another, and a fast-moving texture's shimmer goes up in
// some blocks where it goes down in others.
constexpr double kTogetherSeconds = 0.034;
// Flashing at the warning rate or above for longer than this is a risk by itself.
constexpr double kExtendedSeconds = 5.0;
// Regular stripes: a risk over more than a quarter of the screen for more than half a
// second with more than five light-dark pairs when they move, eight when they stand.
constexpr double kPatternScreenShare = 0.25;
constexpr double kPatternSeconds = 0.5;
constexpr int kMovingPairLimit = 5;
constexpr int kStaticPairLimit = 8;
// Stripes a viewer can see at all: the lighter bars at least 50 cd/m2 of a 200 cd/m2
// screen, and the bars apart by at least a flash's change.
constexpr float kPatternLightest = 0.25f;
constexpr float kPatternContrast = 0.10f;

// =================================================================================
// [layout]
// =================================================================================

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open, in blocks
};

// Blocks tile the frame (the last row and column may be cut short); windows are squares
// of blocks overlapping by half, the last in each row and column moved back to the
// frame's edge so that every block lies in one. The windows' edges cut the block grid
// into cells; a window is a set of whole cells, so per-window sums are sums of cells.
struct FrameLayout {
    int width = 0, height = 0;
    int blockSide = 1;
    int blocksX = 0, blocksY = 0;
    int windowBlocks = 1;              // a window's side, in blocks
    std::vector<Rect> windows;
    std::vector<int> cellEdgesX, cellEdgesY;  // block columns and rows where cells start, with the end
    std::vector<int> cellOfColumn, cellOfRow; // block column/row -> cell column/row
    std::vector<Rect> windowCells;            // each window's cells, half-open, in cells
};

// The windows scale with the frame's area: 416 x 416 at 1920 x 1080, 256 x 256 at
// 1024 x 768 (WCAG's 341 x 256 field has that height).
FrameLayout frameLayout(int width, int height);
// One window over the whole frame: what an analyser that averages the whole frame sees.
FrameLayout wholeFrameLayout(int width, int height);

// =================================================================================
// [analysis]
// =================================================================================

// The most transitions in a second a window remembers: 8 flashes a second and above are
// all reported as 8.
constexpr int kTransitionMemory = 16;

// One block's luminance or red measure through time. Same-direction changes add up into
// a run; a run makes one transition once its sum reaches the limit (a general one only
// while its darker state lies below the darker-state limit), and only a change of
// direction starts a new one.
struct BlockTracker {
    float level = 0.0f;       // this frame's value
    float runStart = 0.0f;    // the value where the current run began
    float runSum = 0.0f;      // signed sum of the run's changes
    int32_t latest = -1;      // frame of the latest transition; -1 none yet
    int8_t latestWay = 0;     // and its direction: 1 up, -1 down (a later run may go either way)
    bool counted = false;     // the current run has already made its transition
};

// One window's flashes: a transition of the window when the blocks that made a
// transition the same way within kTogetherSeconds cover more than a quarter of it, the
// way opposite to its last one (a flash is a pair of opposing changes).
struct Tracker {
    int direction = 0;        // of the last transition: 1 up, -1 down, 0 none yet
    uint8_t newest = 0, stored = 0;
    int32_t frames[kTransitionMemory] = {};  // frame numbers of the latest transitions
    float shares[kTransitionMemory] = {};    // and the share of the window each moved
};

// A window's stripes in the last frame, for telling moving stripes from still ones.
struct WindowStripes {
    bool found = false;
    float angle = 0.0f;           // of the bars' normal, radians, 0 to pi
    float period = 0.0f;          // blocks per light-dark pair
    float contrast = 0.0f;
    std::vector<float> profile;   // luminance across the bars through the window's centre
    long movedAt = -1;            // the last frame the bars were seen to move
};

// The stripes of one frame over the whole screen.
struct StripeFigures {
    int pairs = 0;          // light-dark pairs across the largest regular stripe area
    bool moving = false;
    float share = 0.0f;     // of the screen that area covers
    bool overLimit = false; // more than a quarter of the screen and too many pairs
};

enum class Level { pass, warning, fail };

// One frame's figures: the worst window for each kind.
struct FrameFigures {
    double time = 0.0;
    float meanLuminance = 0.0f;       // whole frame, linear
    float flashesPerSecond = 0.0f;    // general, in the worst window
    float flashArea = 0.0f;           // share of that window flashing so
    float redPerSecond = 0.0f;
    float redArea = 0.0f;
    Rect flashWindow, redWindow;      // where those worst windows lie, in pixels
    int stripePairs = 0;              // regular stripes over the screen, 0 if none
    bool stripesMove = false;
    float stripeShare = 0.0f;         // share of the screen the stripes cover
    Level general = Level::pass, red = Level::pass;
    bool extended = false;            // flashing at the warning rate for more than 5 s
    bool pattern = false;             // stripes past their limit for more than 0.5 s
};

// What the analyser carries from frame to frame.
struct FlashAnalyser {
    FrameLayout layout;
    double fps = 60.0;
    long frames = 0;
    std::vector<BlockTracker> blockLuminanceRuns, blockRedRuns;  // one per block
    std::vector<Tracker> luminance, redness;      // one per window
    std::vector<float> blockLuminance, blockRed;  // this frame's block means
    std::vector<WindowStripes> stripes;           // one per window, from the last frame
    double flashingSince = -1.0;                  // start of the current warning-or-worse run
    double stripesSince = -1.0;                   // start of the current stripes-over-limit run
};

FlashAnalyser makeAnalyser(const FrameLayout& layout, double fps);
// Analyses the next frame: top-down RGB rows, layout.width * layout.height * 3 bytes.
FrameFigures analyseFrame(FlashAnalyser& analyser, const unsigned char* rgb);

// The regular-stripe check of the frame whose block means were just made.
StripeFigures findStripes(FlashAnalyser& analyser);

// sRGB code value to linear light, 0 to 1.
float linearFromCode(int code);
// Relative luminance of 8-bit sRGB.
float relativeLuminance(int r, int g, int b);
// The red measure of 8-bit sRGB: (R - G - B) * 320 on linear values when red is saturated.
float redMeasure(int r, int g, int b);

// =================================================================================
// [report]
// =================================================================================

// The scene window a time falls in; 0 when the times are not the demo's.
using SceneWindowOf = int (*)(double time);

struct Stretch {
    std::string kind;       // "general flash", "red flash", "extended flashing", "pattern", "warning"
    double start = 0.0, end = 0.0;
    int sceneWindow = 0;    // of the start; 0 unknown
    int lastSceneWindow = 0;
    float worstPerSecond = 0.0f;  // flashes per second (stripe pairs for a pattern)
    float area = 0.0f;            // share of the window (of the screen for a pattern)
    Rect window;                  // in pixels, of the worst frame; empty for a pattern
    bool fails = false;
};

// Runs of frames that do not pass, one list per kind, in time order.
std::vector<Stretch> nonPassingStretches(const std::vector<FrameFigures>& frames, double fps,
                                         SceneWindowOf sceneWindow);
// 0 pass, 1 fail (warnings pass).
int verdictStatus(const std::vector<Stretch>& stretches);
std::string verdictLine(const std::vector<Stretch>& stretches, const std::vector<FrameFigures>& frames,
                        double fps);

const char* levelName(const FrameFigures& frame);
std::string frameTable(const std::vector<FrameFigures>& frames, SceneWindowOf sceneWindow);
std::string summaryJson(const std::string& source, double fps, int width, int height,
                        const std::vector<FrameFigures>& frames,
                        const std::vector<Stretch>& stretches, SceneWindowOf sceneWindow,
                        double analysisSeconds);

struct PlotBand {
    double from, to;
    int number;
};
std::string flashPlotSvg(const std::vector<FrameFigures>& frames,
                         const std::vector<Stretch>& stretches,
                         const std::vector<PlotBand>& sceneWindows, const std::string& title);
