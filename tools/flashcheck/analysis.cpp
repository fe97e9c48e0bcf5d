// The analyser's per-frame work: block means of linear luminance and the red measure,
// each block's transitions, the windows' transitions where enough blocks made theirs
// together, the windows' counts over the last second, and the regular-stripe check.
#include "flashcheck.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <thread>

// =================================================================================
// [colour]
// =================================================================================

namespace {

// Rec. 709 primaries' weights of linear R, G and B in relative luminance.
constexpr float kWeightR = 0.2126f, kWeightG = 0.7152f, kWeightB = 0.0722f;
// R >= 0.8 (R + G + B) is R >= 4 (G + B).
constexpr float kRedOverOthers = kRedShare / (1.0f - kRedShare);

struct ColourTables {
    std::array<float, 256> linear{};
    // Each channel's share of luminance, weighed once here rather than at every pixel.
    std::array<float, 256> weightedR{}, weightedG{}, weightedB{};
};

ColourTables makeColourTables() {
    ColourTables t;
    for (int c = 0; c < 256; ++c) {
        double v = c / 255.0;
        // The sRGB transfer function's own linear toe and 2.4 power.
        double lin = v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        t.linear[c] = float(lin);
        t.weightedR[c] = kWeightR * t.linear[c];
        t.weightedG[c] = kWeightG * t.linear[c];
        t.weightedB[c] = kWeightB * t.linear[c];
    }
    return t;
}

const ColourTables& colourTables() {
    static const ColourTables tables = makeColourTables();
    return tables;
}

} // namespace

float linearFromCode(int code) { return colourTables().linear[size_t(code & 255)]; }

float relativeLuminance(int r, int g, int b) {
    return kWeightR * linearFromCode(r) + kWeightG * linearFromCode(g) + kWeightB * linearFromCode(b);
}

float redMeasure(int r, int g, int b) {
    const ColourTables& t = colourTables();
    float R = t.linear[size_t(r)], G = t.linear[size_t(g)], B = t.linear[size_t(b)];
    return R > 0.0f && R >= kRedOverOthers * (G + B) ? (R - G - B) * kRedScale : 0.0f;
}

// =================================================================================
// [layout]
// =================================================================================

namespace {

// Window starts along one side: every `stride`, the last moved back to the edge.
std::vector<int> windowStarts(int blocks, int side, int stride) {
    std::vector<int> starts;
    for (int p = 0;; p += stride) {
        if (p + side >= blocks) {
            if (starts.empty() || starts.back() != blocks - side) starts.push_back(blocks - side);
            break;
        }
        starts.push_back(p);
    }
    return starts;
}

void makeCells(FrameLayout& layout) {
    std::vector<int> xs{0, layout.blocksX}, ys{0, layout.blocksY};
    for (const Rect& w : layout.windows) {
        xs.insert(xs.end(), {w.x0, w.x1});
        ys.insert(ys.end(), {w.y0, w.y1});
    }
    auto unique = [](std::vector<int>& v) {
        std::sort(v.begin(), v.end());
        v.erase(std::unique(v.begin(), v.end()), v.end());
    };
    unique(xs);
    unique(ys);
    layout.cellEdgesX = xs;
    layout.cellEdgesY = ys;
    auto cellOf = [](const std::vector<int>& edges, int count) {
        std::vector<int> of(static_cast<size_t>(count));
        size_t cell = 0;
        for (int i = 0; i < count; ++i) {
            while (edges[cell + 1] <= i) ++cell;
            of[size_t(i)] = int(cell);
        }
        return of;
    };
    layout.cellOfColumn = cellOf(xs, layout.blocksX);
    layout.cellOfRow = cellOf(ys, layout.blocksY);
    auto index = [](const std::vector<int>& edges, int at) {
        return int(std::lower_bound(edges.begin(), edges.end(), at) - edges.begin());
    };
    layout.windowCells.clear();
    for (const Rect& w : layout.windows)
        layout.windowCells.push_back({index(xs, w.x0), index(ys, w.y0), index(xs, w.x1), index(ys, w.y1)});
}

FrameLayout blockGrid(int width, int height) {
    FrameLayout layout;
    layout.width = width;
    layout.height = height;
    const double scale = std::sqrt(double(width) * height / (1920.0 * 1080.0));
    layout.blockSide = std::max(1, int(std::lround(kBlockSide1080 * scale)));
    layout.blocksX = (width + layout.blockSide - 1) / layout.blockSide;
    layout.blocksY = (height + layout.blockSide - 1) / layout.blockSide;
    layout.windowBlocks = std::max(1, int(std::lround(kWindowSide1080 * scale / layout.blockSide)));
    return layout;
}

} // namespace

FrameLayout frameLayout(int width, int height) {
    FrameLayout layout = blockGrid(width, height);
    const int sideX = std::min(layout.windowBlocks, layout.blocksX);
    const int sideY = std::min(layout.windowBlocks, layout.blocksY);
    const int stride = std::max(1, layout.windowBlocks / 2);
    for (int y : windowStarts(layout.blocksY, sideY, stride))
        for (int x : windowStarts(layout.blocksX, sideX, stride))
            layout.windows.push_back({x, y, x + sideX, y + sideY});
    makeCells(layout);
    return layout;
}

FrameLayout wholeFrameLayout(int width, int height) {
    FrameLayout layout = blockGrid(width, height);
    layout.windows.push_back({0, 0, layout.blocksX, layout.blocksY});
    makeCells(layout);
    return layout;
}

// =================================================================================
// [transitions]
// =================================================================================

namespace {

// Returns the block's transition this frame: 1 up, -1 down, 0 none.
inline int trackBlock(BlockTracker& t, float value, long frame, float limit, bool general) {
    const float delta = value - t.level;
    const float before = t.level;
    t.level = value;
    if (delta == 0.0f) return 0;
    if ((delta > 0.0f) != (t.runSum > 0.0f) || t.runSum == 0.0f) {
        t.runStart = before;
        t.runSum = 0.0f;
        t.counted = false;
    }
    t.runSum += delta;
    if (t.counted) return 0;
    const float size = std::fabs(t.runSum);
    const bool bigEnough = general ? size >= limit : size > limit;
    if (!bigEnough || (general && std::min(t.runStart, value) >= kDarkerStateLimit)) return 0;
    t.counted = true;
    t.latest = int32_t(frame);
    t.latestWay = t.runSum > 0.0f ? 1 : -1;
    return t.latestWay;
}

inline void recordTransition(Tracker& t, int direction, long frame, float share) {
    t.direction = direction;
    t.newest = uint8_t((t.newest + 1) % kTransitionMemory);
    t.frames[t.newest] = int32_t(frame);
    t.shares[t.newest] = share;
    if (t.stored < kTransitionMemory) ++t.stored;
}

// Transitions within the one second that ends with this frame, the frame a second
// back excluded; `share` gets the smallest share of the window any of them moved.
inline int transitionsInLastSecond(const Tracker& t, long frame, double fps, float& share) {
    int count = 0;
    share = 1.0f;
    for (int i = 0; i < t.stored; ++i) {
        const int k = (t.newest + kTransitionMemory - i) % kTransitionMemory;
        if (double(frame - t.frames[k]) >= fps - 1e-9) break;
        share = std::min(share, t.shares[k]);
        ++count;
    }
    if (count == 0) share = 0.0f;
    return count;
}

} // namespace

// =================================================================================
// [analysis]
// =================================================================================

FlashAnalyser makeAnalyser(const FrameLayout& layout, double fps) {
    FlashAnalyser a;
    a.layout = layout;
    a.fps = fps;
    const size_t blocks = size_t(layout.blocksX) * size_t(layout.blocksY);
    a.blockLuminanceRuns.assign(blocks, BlockTracker());
    a.blockRedRuns.assign(blocks, BlockTracker());
    a.luminance.assign(layout.windows.size(), Tracker());
    a.redness.assign(layout.windows.size(), Tracker());
    a.blockLuminance.assign(blocks, 0.0f);
    a.blockRed.assign(blocks, 0.0f);
    a.stripes.assign(layout.windows.size(), WindowStripes());
    return a;
}

namespace {

// Block means of luminance and the red measure over the block rows [firstRow, endRow);
// returns their luminance summed over every pixel.
double blockMeansOfRows(FlashAnalyser& a, const unsigned char* rgb, int firstRow, int endRow) {
    const FrameLayout& L = a.layout;
    const ColourTables& t = colourTables();
    const int bs = L.blockSide;
    std::vector<float> sumY(static_cast<size_t>(L.blocksX)), sumRed(static_cast<size_t>(L.blocksX));
    double total = 0.0;
    for (int by = firstRow; by < endRow; ++by) {
        std::fill(sumY.begin(), sumY.end(), 0.0f);
        std::fill(sumRed.begin(), sumRed.end(), 0.0f);
        const int y0 = by * bs, y1 = std::min(L.height, y0 + bs);
        for (int y = y0; y < y1; ++y) {
            const unsigned char* row = rgb + size_t(y) * size_t(L.width) * 3;
            for (int bx = 0; bx < L.blocksX; ++bx) {
                const int x0 = bx * bs, x1 = std::min(L.width, x0 + bs);
                float ySum = 0.0f, redSum = 0.0f;
                for (int x = x0; x < x1; ++x) {
                    const unsigned char* p = row + size_t(x) * 3;
                    const float R = t.linear[p[0]], G = t.linear[p[1]], B = t.linear[p[2]];
                    ySum += t.weightedR[p[0]] + t.weightedG[p[1]] + t.weightedB[p[2]];
                    // A select, not a branch: reddish and other pixels mix unpredictably.
                    redSum += R > 0.0f && R >= kRedOverOthers * (G + B) ? R - G - B : 0.0f;
                }
                sumY[size_t(bx)] += ySum;
                sumRed[size_t(bx)] += redSum;
            }
        }
        for (int bx = 0; bx < L.blocksX; ++bx) {
            const int pixels = (std::min(L.width, (bx + 1) * bs) - bx * bs) * (y1 - y0);
            const size_t i = size_t(by) * size_t(L.blocksX) + size_t(bx);
            a.blockLuminance[i] = sumY[size_t(bx)] / float(pixels);
            a.blockRed[i] = sumRed[size_t(bx)] * kRedScale / float(pixels);
            total += sumY[size_t(bx)];
        }
    }
    return total;
}

// Block means of the whole frame; returns the frame's mean luminance. Reading every pixel
// is most of the analysis, so the frame's top and bottom halves are read on two threads:
// a video's decoder leaves a core idle part of the time.
float blockMeans(FlashAnalyser& a, const unsigned char* rgb) {
    const FrameLayout& L = a.layout;
    const int middle = L.blocksY / 2;
    double top = 0.0;
    std::thread upper([&] { top = blockMeansOfRows(a, rgb, 0, middle); });
    const double bottom = blockMeansOfRows(a, rgb, middle, L.blocksY);
    upper.join();
    return float((top + bottom) / (double(L.width) * L.height));
}

// Tracks every block, then makes each window's transition when enough of its blocks made
// theirs together.
void trackWindows(FlashAnalyser& a, const std::vector<float>& values, std::vector<BlockTracker>& blocks,
                  std::vector<Tracker>& windows, float limit, bool general) {
    const FrameLayout& L = a.layout;
    const long together = std::max(1L, std::lround(kTogetherSeconds * a.fps));
    const int cellsX = int(L.cellEdgesX.size()) - 1, cellsY = int(L.cellEdgesY.size()) - 1;
    std::vector<int> up(size_t(cellsX) * size_t(cellsY), 0), down(up.size(), 0);
    bool any = false;
    for (int by = 0; by < L.blocksY; ++by) {
        const size_t first = size_t(by) * size_t(L.blocksX);
        const size_t cellRow = size_t(L.cellOfRow[size_t(by)]) * size_t(cellsX);
        for (int bx = 0; bx < L.blocksX; ++bx) {
            BlockTracker& t = blocks[first + size_t(bx)];
            trackBlock(t, values[first + size_t(bx)], a.frames, limit, general);
            if (t.latest < 0 || a.frames - t.latest >= together) continue;
            any = true;
            const size_t cell = cellRow + size_t(L.cellOfColumn[size_t(bx)]);
            (t.latestWay > 0 ? up : down)[cell]++;
        }
    }
    if (!any) return;
    for (size_t w = 0; w < L.windows.size(); ++w) {
        int rising = 0, falling = 0;
        const Rect& wc = L.windowCells[w];
        for (int cy = wc.y0; cy < wc.y1; ++cy)
            for (int cx = wc.x0; cx < wc.x1; ++cx) {
                rising += up[size_t(cy) * size_t(cellsX) + size_t(cx)];
                falling += down[size_t(cy) * size_t(cellsX) + size_t(cx)];
            }
        const Rect& win = L.windows[w];
        const float blocksIn = float(win.x1 - win.x0) * float(win.y1 - win.y0);
        const float riseShare = float(rising) / blocksIn, fallShare = float(falling) / blocksIn;
        Tracker& t = windows[w];
        if (riseShare > float(kAreaShare) && t.direction != 1) recordTransition(t, 1, a.frames, riseShare);
        else if (fallShare > float(kAreaShare) && t.direction != -1) recordTransition(t, -1, a.frames, fallShare);
    }
}

struct WindowCount {
    int transitions = 0;  // the most transitions in the last second of any window
    float area = 0.0f;    // the share of that window they moved
    size_t window = 0;
};

WindowCount worstWindow(const FlashAnalyser& a, const std::vector<Tracker>& trackers) {
    WindowCount worst;
    for (size_t w = 0; w < trackers.size(); ++w) {
        float share = 0.0f;
        const int n = transitionsInLastSecond(trackers[w], a.frames, a.fps, share);
        if (n > worst.transitions || (n == worst.transitions && n > 0 && share > worst.area)) {
            worst.transitions = n;
            worst.area = share;
            worst.window = w;
        }
    }
    return worst;
}

// So that whoever mends the content knows where on the screen to look.
Rect windowPixels(const FrameLayout& L, const WindowCount& count) {
    if (count.transitions == 0 || L.windows.empty()) return Rect();
    const Rect& w = L.windows[count.window];
    return {w.x0 * L.blockSide, w.y0 * L.blockSide, std::min(L.width, w.x1 * L.blockSide),
            std::min(L.height, w.y1 * L.blockSide)};
}

Level levelOf(int transitions) {
    if (transitions >= kFailTransitions) return Level::fail;
    if (transitions >= kWarnTransitions) return Level::warning;
    return Level::pass;
}

} // namespace

FrameFigures analyseFrame(FlashAnalyser& a, const unsigned char* rgb) {
    FrameFigures f;
    f.time = double(a.frames) / a.fps;
    f.meanLuminance = blockMeans(a, rgb);

    if (a.frames == 0) {
        // The first frame is where every block starts, not a change.
        for (size_t i = 0; i < a.blockLuminance.size(); ++i) {
            a.blockLuminanceRuns[i].level = a.blockLuminance[i];
            a.blockRedRuns[i].level = a.blockRed[i];
        }
    } else {
        trackWindows(a, a.blockLuminance, a.blockLuminanceRuns, a.luminance, kFlashChange, true);
        trackWindows(a, a.blockRed, a.blockRedRuns, a.redness, kRedChange, false);
    }

    const WindowCount general = worstWindow(a, a.luminance);
    const WindowCount red = worstWindow(a, a.redness);
    f.flashesPerSecond = general.transitions * 0.5f;
    f.flashArea = general.area;
    f.redPerSecond = red.transitions * 0.5f;
    f.redArea = red.area;
    f.flashWindow = windowPixels(a.layout, general);
    f.redWindow = windowPixels(a.layout, red);
    f.general = levelOf(general.transitions);
    f.red = levelOf(red.transitions);

    // A frame's figures hold for its whole interval, so a run of frames lasts until the
    // last one's interval ends.
    const double frameEnd = double(a.frames + 1) / a.fps;
    if (f.general != Level::pass || f.red != Level::pass) {
        if (a.flashingSince < 0.0) a.flashingSince = f.time;
        f.extended = frameEnd - a.flashingSince > kExtendedSeconds + 1e-9;
    } else {
        a.flashingSince = -1.0;
    }

    const StripeFigures stripes = findStripes(a);
    f.stripePairs = stripes.pairs;
    f.stripesMove = stripes.moving;
    f.stripeShare = stripes.share;
    if (stripes.overLimit) {
        if (a.stripesSince < 0.0) a.stripesSince = f.time;
        f.pattern = frameEnd - a.stripesSince > kPatternSeconds + 1e-9;
    } else {
        a.stripesSince = -1.0;
    }

    ++a.frames;
    return f;
}
