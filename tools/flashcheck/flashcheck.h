// The photosensitivity analyser: every frame's linear colour, averaged over small blocks
// and followed through time, judged under five standards at once: TRACE's 2024 proposal
// (any 416 x 416 window at 1920 x 1080), WCAG 2.2 (any 341 x 256 field), and Ofcom,
// ITU-R BT.1702 and ISO 9241-391 (a quarter of the screen, with extended flashing and
// regular stripes); and the verdicts, per-frame table, summary and plot it writes.
//
// Index
//   [limits]    the thresholds and why each has its value
//   [standards] what each standard judges
//   [layout]    blocks and areas for a frame size
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
// this much, where the darker state lies below kDarkerStateLimit. The TRACE proposal
// judges brighter pairs too, by Michelson contrast (H - L) / (H + L) of at least 1/17,
// which meets the 0.10 change exactly at the limit.
constexpr float kFlashChange = 0.10f;
constexpr float kDarkerStateLimit = 0.80f;
constexpr float kBrightContrast = 1.0f / 17.0f;
// A red flash: between a saturated red (R / (R + G + B) >= kRedShare on linear values)
// and a state whose CIE 1976 u'v' chromaticity lies at least kRedChroma away.
constexpr float kRedShare = 0.8f;
constexpr float kRedChroma = 0.2f;
// A change counts as a transition only when it reaches the critical difference within
// this long: a slower change is a fade, not a flash (at 30 fps, one frame step).
constexpr double kQualifyingSeconds = 0.066;
// Areas that make the same transition within this long of each other add up.
constexpr double kTogetherSeconds = 0.020;
// Same-direction transitions this close or closer (flicker of 65 Hz and up) merge into one.
constexpr double kFusedSeconds = 0.015;
// Transitions (half a flash each) in any one second: more than three flashes fails;
// two or more warns, where the open analyser warns at four to six transitions.
constexpr int kFailTransitions = 7;
constexpr int kWarnTransitions = 4;
// A flash counts when it covers more than this share of the area a standard judges.
constexpr double kAreaShare = 0.25;
// TRACE's area: 10 degrees of view on a 23-inch 1920 x 1080 screen at 71 cm. WCAG's
// classic field is 341 x 256 in the same reference pixels (1024 x 768 at that size).
constexpr int kWindowSide1080 = 416;
constexpr int kFieldWidth1080 = 341, kFieldHeight1080 = 256;
// Luminance and colour are averaged over square blocks of this side (at 1080p) before
// they are compared between frames, and the judged areas slide a block at a time: a
// quarter of a window is still 2,700 blocks, and an encoder's noise mostly averages out.
constexpr int kBlockSide1080 = 4;
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
// [standards]
// =================================================================================

enum class Standard { trace, wcag, ofcom, itu, iso };
constexpr int kStandardCount = 5;
using StandardSet = unsigned;  // bit i: Standard(i)
constexpr StandardSet kAllStandards = (1u << kStandardCount) - 1;

// The area each standard judges a flash against.
enum class AreaKind { window, field, screen };

struct StandardRules {
    const char* key;        // as --standard and the JSON name it
    const char* name;
    AreaKind area;
    bool brightContrast;    // bright pairs judged by Michelson contrast, not exempt
    bool redLimit;          // red flashing past the count fails (else it warns)
    bool extended;          // flashing for more than 5 s fails by itself
    bool patterns;          // regular stripes fail
};

const StandardRules& standardRules(Standard s);
inline bool judges(StandardSet set, Standard s) { return (set >> int(s)) & 1u; }
// "trace,wcag" to a set; false with a message for a name it does not know.
bool parseStandards(const std::string& list, StandardSet& set, std::string& error);

// =================================================================================
// [layout]
// =================================================================================

struct Rect {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // half-open, in blocks (in pixels where a report says so)
};

// Blocks tile the frame (the last row and column may be cut short). The flash areas slide
// over them a block at a time. The stripe check looks at a coarser grid of windows
// overlapping by half, the last in each row and column moved back to the frame's edge;
// their edges cut the block grid into cells, so per-window sums are sums of cells.
struct FrameLayout {
    int width = 0, height = 0;
    int blockSide = 1;
    int blocksX = 0, blocksY = 0;
    int windowBlocks = 1;                     // TRACE's window side, in blocks
    int fieldBlocksX = 1, fieldBlocksY = 1;   // WCAG's field, in blocks
    bool wholeFrame = false;                  // every area is the whole frame
    std::vector<Rect> windows;                // the stripe check's grid
    std::vector<int> cellEdgesX, cellEdgesY;  // block columns and rows where cells start, with the end
    std::vector<int> cellOfColumn, cellOfRow; // block column/row -> cell column/row
    std::vector<Rect> windowCells;            // each window's cells, half-open, in cells
};

// The areas scale with the frame's area: a 416 x 416 window at 1920 x 1080, 256 x 256 at
// 1024 x 768 (WCAG's 341 x 256 field has that height).
FrameLayout frameLayout(int width, int height);
// Every area the whole frame: what an analyser that averages the whole frame sees.
FrameLayout wholeFrameLayout(int width, int height);

// =================================================================================
// [analysis]
// =================================================================================

// The most transitions in a second an area remembers: 8 flashes a second and above are
// all reported as 8.
constexpr int kTransitionMemory = 16;

// One block through time, for luminance or for redness. Changes the same way make a run;
// a run makes its transition once it reaches the critical difference within the
// qualifying time, and only a change of direction starts a new one.
struct BlockRun {
    int32_t start = 0;        // frame the run began at
    int8_t way = 0;           // 1 up, -1 down, 0 none yet
    uint8_t counted = 0;      // bit per rule: the run has made that rule's transition
};

// A block's latest transition under one rule, and how much of the block moved in it.
struct BlockTransition {
    int32_t frame = -1;
    int8_t way = 0;
    float cover = 0.0f;
};

// One position of a judged area: a transition when the blocks that made the same one
// within kTogetherSeconds cover more than a quarter of it, the way opposite to its last
// (a flash is a pair of opposing changes).
struct Tracker {
    int direction = 0;        // of the last transition: 1 up, -1 down, 0 none yet
    uint8_t newest = 0, stored = 0;
    int32_t frames[kTransitionMemory] = {};  // frame numbers of the latest transitions
    float shares[kTransitionMemory] = {};    // and the share of the area each moved
};

// Every position of one kind of area, for luminance and for red.
struct AreaTrackers {
    AreaKind kind = AreaKind::screen;
    bool brightContrast = false;      // which luminance rule feeds it
    int sideX = 1, sideY = 1;         // in blocks
    int positionsX = 1, positionsY = 1;
    std::vector<Tracker> luminance, redness;
    std::vector<uint32_t> activeLuminance, activeRed;  // positions with a transition in the last second
    std::vector<uint8_t> isActiveLuminance, isActiveRed;
    double flashingSince = -1.0;      // start of the current warning-or-worse run
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

// One frame's flashes as one standard sees them: the worst position of its area.
struct StandardFigures {
    float flashesPerSecond = 0.0f;    // general
    float flashArea = 0.0f;           // share of the area flashing so
    float redPerSecond = 0.0f;
    float redArea = 0.0f;
    Rect flashWindow, redWindow;      // where those worst areas lie, in pixels
    Level general = Level::pass, red = Level::pass;
    bool extended = false;            // flashing at the warning rate for more than 5 s
};

struct FrameFigures {
    double time = 0.0;
    float meanLuminance = 0.0f;       // whole frame, linear
    StandardFigures standards[kStandardCount];
    int stripePairs = 0;              // regular stripes over the screen, 0 if none
    bool stripesMove = false;
    float stripeShare = 0.0f;         // share of the screen the stripes cover
    bool pattern = false;             // stripes past their limit for more than 0.5 s
};

// What the analyser carries from frame to frame.
struct FlashAnalyser {
    FrameLayout layout;
    double fps = 60.0;
    StandardSet judged = kAllStandards;
    long frames = 0;
    int span = 1;                      // frame steps within the qualifying time
    int together = 0;                  // and within kTogetherSeconds
    std::vector<size_t> slotBase;      // where the rings hold this frame, the one before, ...
    std::vector<size_t> pixelBase;     // and where pixelRing holds them
    // Per block: this frame's means, and the last span + 1 frames' in rings.
    std::vector<float> blockLuminance;
    std::vector<float> luminanceRing, rednessRing;
    // How much of each block moved, worked out from the pixels only when a transition is
    // possible: negative until then.
    std::vector<float> strengthRing, coverRing, redCoverRing;
    std::vector<float> colourRing;     // linear R, G, B means, three a block
    std::vector<BlockRun> luminanceRuns, redRuns;
    std::vector<BlockTransition> traceTransitions, classicTransitions, redTransitions;
    long latestTransition[3] = {-1, -1, -1};   // frame of the latest block transition under each
    std::vector<long> rowTransition[3];        // and in each block row
    std::vector<unsigned char> pixelRing;      // the last span + 1 frames, to tell which pixels changed
    std::vector<AreaTrackers> areas;           // one per kind of area the judged standards use
    std::vector<WindowStripes> stripes;        // one per grid window, from the last frame
    double stripesSince = -1.0;                // start of the current stripes-over-limit run
};

FlashAnalyser makeAnalyser(const FrameLayout& layout, double fps, StandardSet judged = kAllStandards);
// Analyses the next frame: top-down RGB rows, layout.width * layout.height * 3 bytes.
FrameFigures analyseFrame(FlashAnalyser& analyser, const unsigned char* rgb);

// The regular-stripe check of the frame whose block means were just made.
StripeFigures findStripes(FlashAnalyser& analyser);

// sRGB code value to linear light, 0 to 1.
float linearFromCode(int code);
// Relative luminance of 8-bit sRGB.
float relativeLuminance(int r, int g, int b);

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
    float area = 0.0f;            // share of the judged area (of the screen for a pattern)
    Rect window;                  // in pixels, of the worst frame; empty for a pattern
    bool fails = false;
    StandardSet standards = 0;    // the standards it fails (or warns under)
};

// Runs of frames that do not pass under each judged standard, in time order; a run that
// several standards see alike is one stretch naming them all.
std::vector<Stretch> nonPassingStretches(const std::vector<FrameFigures>& frames, double fps,
                                         SceneWindowOf sceneWindow, StandardSet judged);
// 0 pass, 1 fail (warnings pass), under the standards given.
int verdictStatus(const std::vector<Stretch>& stretches, StandardSet standards = kAllStandards);
// "pass", "pass with warnings" or "fail".
const char* verdictName(const std::vector<Stretch>& stretches, Standard standard);
// One line for each judged standard.
std::vector<std::string> verdictLines(const std::vector<Stretch>& stretches, const std::vector<FrameFigures>& frames,
                                      double fps, StandardSet judged);

const char* levelName(const FrameFigures& frame, Standard standard);
std::string frameTable(const std::vector<FrameFigures>& frames, SceneWindowOf sceneWindow, StandardSet judged);
std::string summaryJson(const std::string& source, double fps, int width, int height,
                        const std::vector<FrameFigures>& frames,
                        const std::vector<Stretch>& stretches, SceneWindowOf sceneWindow,
                        double analysisSeconds, StandardSet judged);

struct PlotBand {
    double from, to;
    int number;
};
std::string flashPlotSvg(const std::vector<FrameFigures>& frames,
                         const std::vector<Stretch>& stretches,
                         const std::vector<PlotBand>& sceneWindows, const std::string& title,
                         StandardSet judged);
