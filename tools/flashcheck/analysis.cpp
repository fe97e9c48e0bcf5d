// The analyser's per-frame work: block means of linear colour, each block's luminance and
// red transitions, every position of the areas the judged standards slide over the frame
// (summed-area tables of the blocks that made the same transition together), each
// position's count over the last second, and the regular-stripe check.
#include "flashcheck.h"
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <thread>

// =================================================================================
// [standards]
// =================================================================================

namespace {

// TRACE judges any 416 x 416 window and bright pairs by contrast; WCAG its classic field;
// the broadcast rules a quarter of the screen, with flashing over 5 s and regular stripes
// as risks of their own. The broadcast texts ask for care with saturated red but set it no
// limit, so red flashing only warns under them. ISO 9241-391's own text was not to hand:
// its published summaries give it the broadcast rules, and so does the conformance suite.
constexpr StandardRules kRules[kStandardCount] = {
    // key      name             area              bright  red    extended patterns
    {"trace", "TRACE 2024",    AreaKind::window, true,   true,  false,   false},
    {"wcag",  "WCAG 2.2",      AreaKind::field,  false,  true,  false,   false},
    {"ofcom", "Ofcom 2017",    AreaKind::screen, false,  false, true,    true},
    {"itu",   "ITU-R BT.1702", AreaKind::screen, false,  false, true,    true},
    {"iso",   "ISO 9241-391",  AreaKind::screen, false,  false, true,    true},
};

} // namespace

const StandardRules& standardRules(Standard s) { return kRules[int(s)]; }

bool parseStandards(const std::string& list, StandardSet& set, std::string& error) {
    set = 0;
    size_t from = 0;
    while (from <= list.size()) {
        const size_t comma = std::min(list.find(',', from), list.size());
        const std::string name = list.substr(from, comma - from);
        int found = -1;
        for (int s = 0; s < kStandardCount; ++s)
            if (name == kRules[s].key) found = s;
        if (found < 0) {
            error = "unknown standard '" + name + "' (trace, wcag, ofcom, itu, iso)";
            return false;
        }
        set |= 1u << found;
        from = comma + 1;
    }
    return true;
}

// =================================================================================
// [colour]
// =================================================================================

namespace {

// Rec. 709 primaries' weights of linear R, G and B in relative luminance, and the rest
// of their matrix to CIE XYZ (D65).
constexpr float kWeightR = 0.2126f, kWeightG = 0.7152f, kWeightB = 0.0722f;
constexpr float kXr = 0.4124f, kXg = 0.3576f, kXb = 0.1805f;
constexpr float kZr = 0.0193f, kZg = 0.1192f, kZb = 0.9505f;
// Black has no chromaticity: it takes the white point's, so that it is no red.
constexpr float kWhiteU = 0.19784f, kWhiteV = 0.46834f;

std::array<float, 256> makeLinearTable() {
    std::array<float, 256> t{};
    for (int c = 0; c < 256; ++c) {
        double v = c / 255.0;
        // The sRGB transfer function's own linear toe and 2.4 power.
        t[size_t(c)] = float(v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4));
    }
    return t;
}

const std::array<float, 256>& linearTable() {
    static const std::array<float, 256> table = makeLinearTable();
    return table;
}

inline float luminanceOf(float R, float G, float B) { return kWeightR * R + kWeightG * G + kWeightB * B; }

inline float rednessOf(float R, float G, float B) {
    const float sum = R + G + B;
    return sum > 1e-6f ? R / sum : 0.0f;
}

inline void chromaOf(float R, float G, float B, float& u, float& v) {
    const float X = kXr * R + kXg * G + kXb * B, Y = luminanceOf(R, G, B), Z = kZr * R + kZg * G + kZb * B;
    const float d = X + 15.0f * Y + 3.0f * Z;
    if (d < 1e-6f) {
        u = kWhiteU, v = kWhiteV;
        return;
    }
    u = 4.0f * X / d;
    v = 9.0f * Y / d;
}

} // namespace

float linearFromCode(int code) { return linearTable()[size_t(code & 255)]; }

float relativeLuminance(int r, int g, int b) {
    return luminanceOf(linearFromCode(r), linearFromCode(g), linearFromCode(b));
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
    auto blocks = [&](int pixels1080) {
        return std::max(1, int(std::lround(pixels1080 * scale / layout.blockSide)));
    };
    layout.windowBlocks = blocks(kWindowSide1080);
    layout.fieldBlocksX = blocks(kFieldWidth1080);
    layout.fieldBlocksY = blocks(kFieldHeight1080);
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
    layout.wholeFrame = true;
    layout.windows.push_back({0, 0, layout.blocksX, layout.blocksY});
    makeCells(layout);
    return layout;
}

// =================================================================================
// [analysis]
// =================================================================================

namespace {

// Bits of BlockRun::counted.
constexpr uint8_t kTraceRule = 1, kClassicRule = 2, kRedRule = 4;

AreaTrackers makeArea(const FrameLayout& L, AreaKind kind, bool brightContrast) {
    AreaTrackers area;
    area.kind = kind;
    area.brightContrast = brightContrast;
    if (L.wholeFrame || kind == AreaKind::screen) {
        area.sideX = L.blocksX;
        area.sideY = L.blocksY;
    } else if (kind == AreaKind::window) {
        area.sideX = std::min(L.windowBlocks, L.blocksX);
        area.sideY = std::min(L.windowBlocks, L.blocksY);
    } else {
        area.sideX = std::min(L.fieldBlocksX, L.blocksX);
        area.sideY = std::min(L.fieldBlocksY, L.blocksY);
    }
    area.positionsX = L.blocksX - area.sideX + 1;
    area.positionsY = L.blocksY - area.sideY + 1;
    const size_t positions = size_t(area.positionsX) * size_t(area.positionsY);
    area.luminance.assign(positions, Tracker());
    area.redness.assign(positions, Tracker());
    area.isActiveLuminance.assign(positions, 0);
    area.isActiveRed.assign(positions, 0);
    return area;
}

} // namespace

FlashAnalyser makeAnalyser(const FrameLayout& layout, double fps, StandardSet judged) {
    FlashAnalyser a;
    a.layout = layout;
    a.fps = fps;
    a.judged = judged;
    a.span = std::max(1, int(std::floor(kQualifyingSeconds * fps + 1e-9)));
    a.together = int(std::floor(kTogetherSeconds * fps + 1e-9));
    a.slotBase.assign(size_t(a.span) + 1, 0);
    a.pixelBase.assign(size_t(a.span) + 1, 0);
    const size_t blocks = size_t(layout.blocksX) * size_t(layout.blocksY);
    const size_t ring = blocks * size_t(a.span + 1);
    a.blockLuminance.assign(blocks, 0.0f);
    for (auto* v : {&a.luminanceRing, &a.rednessRing, &a.strengthRing, &a.coverRing, &a.redCoverRing})
        v->assign(ring, 0.0f);
    a.colourRing.assign(ring * 3, 0.0f);
    a.luminanceRuns.assign(blocks, BlockRun());
    a.redRuns.assign(blocks, BlockRun());
    a.traceTransitions.assign(blocks, BlockTransition());
    a.classicTransitions.assign(blocks, BlockTransition());
    a.redTransitions.assign(blocks, BlockTransition());
    for (std::vector<long>& rows : a.rowTransition) rows.assign(size_t(layout.blocksY), -1);
    a.pixelRing.assign(size_t(layout.width) * size_t(layout.height) * 3 * size_t(a.span + 1), 0);
    // One set of trackers per kind of area the judged standards use: the broadcast rules
    // share theirs.
    for (int s = 0; s < kStandardCount; ++s) {
        if (!judges(judged, Standard(s))) continue;
        const StandardRules& r = kRules[s];
        bool have = false;
        for (const AreaTrackers& area : a.areas) have = have || area.kind == r.area;
        if (!have) a.areas.push_back(makeArea(layout, r.area, r.brightContrast));
    }
    a.stripes.assign(layout.windows.size(), WindowStripes());
    return a;
}

namespace {

inline bool reachesTrace(float low, float high) {
    return low < kDarkerStateLimit ? high - low >= kFlashChange : (high - low) >= kBrightContrast * (high + low);
}

inline bool reachesClassic(float low, float high) {
    return low < kDarkerStateLimit && high - low >= kFlashChange;
}

// A run's direction from this frame's change; a change of direction starts a new run at
// the frame before. Returns false when nothing changed.
inline bool followRun(BlockRun& run, float delta, long frame) {
    if (delta == 0.0f) return false;
    const int8_t way = delta > 0.0f ? 1 : -1;
    if (way != run.way) {
        run.way = way;
        run.start = int32_t(frame - 1);
        run.counted = 0;
    }
    return true;
}

struct BlockRows {
    int first, end;
};

// Indices of FlashAnalyser::latestTransition.
enum Rule { traceRule, classicRule, redRule };

struct RowsResult {
    double luminance = 0.0;             // summed over every pixel
    bool moved[3] = {false, false, false};  // a block made a transition under each rule
};

// A transition under a rule, where the areas' tables will look for it.
inline void noteTransition(FlashAnalyser& a, Rule rule, size_t i, RowsResult& result) {
    result.moved[rule] = true;
    a.rowTransition[rule][i / size_t(a.layout.blocksX)] = a.frames;
}

// Where block i's values of a recent frame lie in the rings: the frames' slots are worked
// out once a frame, since a division per block and look-up would cost more than the rest.
struct Rings {
    const size_t* base;  // by how many frames back
    long frame;
    size_t at(long f, size_t i) const { return base[frame - f] + i; }
};

// Marks a block's share of a frame not yet worked out (every share is 0 or more).
constexpr float kUnknown = -1.0f;

// How much of a block changed one way, from each pixel's own change v that way (for
// luminance a signed, luminance-weighted change of its codes since the last frame; for
// red the summed change of its codes, whichever way): `strength` is the share of the
// strongest change the block as a whole made, so that the block's change over it is the
// change of the part that moved; `cover` is the share of pixels that changed at least half
// as much as the strongest, the moving part's area. Where a flat shape's edge crosses the
// block, both are its share of the block, soft edges included (they blend in codes); where
// an edge moves through it, only the side that changed the block's way counts.
struct BlockChange {
    float strength = 0.0f, cover = 0.0f;
};

// Block i's pixels in one frame and in the frame before it.
struct BlockPixels {
    const unsigned char* now;
    const unsigned char* before;
    size_t rowBytes;
    int across, down;
};

BlockPixels blockPixels(const FlashAnalyser& a, long f, size_t i) {
    const FrameLayout& L = a.layout;
    const int x0 = int(i % size_t(L.blocksX)) * L.blockSide, y0 = int(i / size_t(L.blocksX)) * L.blockSide;
    const size_t rowBytes = size_t(L.width) * 3, first = size_t(y0) * rowBytes + size_t(x0) * 3;
    const size_t back = size_t(a.frames - f);
    return {a.pixelRing.data() + a.pixelBase[back] + first, a.pixelRing.data() + a.pixelBase[back + 1] + first,
            rowBytes, std::min(L.width - x0, L.blockSide), std::min(L.height - y0, L.blockSide)};
}

// A pixel's change towards the light, in Rec. 709's luminance weights (in 64ths) of its
// codes, and its change in any direction, for red. (Lambdas, so that each blockChange is
// made for one and calls it inline.)
constexpr auto lighter = [](const unsigned char* p, const unsigned char* q) {
    return 14 * (int(p[0]) - int(q[0])) + 46 * (int(p[1]) - int(q[1])) + 4 * (int(p[2]) - int(q[2]));
};

constexpr auto changed = [](const unsigned char* p, const unsigned char* q) {
    return std::abs(int(p[0]) - int(q[0])) + std::abs(int(p[1]) - int(q[1])) + std::abs(int(p[2]) - int(q[2]));
};

template <typename Change>
BlockChange blockChange(const BlockPixels& b, int way, Change change) {
    int strongest = 0, sum = 0;
    for (int y = 0; y < b.down; ++y)
        for (int x = 0; x < b.across; ++x) {
            const size_t k = size_t(y) * b.rowBytes + size_t(x) * 3;
            const int c = way * change(b.now + k, b.before + k);
            strongest = std::max(strongest, c);
            sum += std::max(c, 0);
        }
    if (strongest == 0) return {};
    int moved = 0;
    for (int y = 0; y < b.down; ++y)
        for (int x = 0; x < b.across; ++x) {
            const size_t k = size_t(y) * b.rowBytes + size_t(x) * 3;
            moved += 2 * way * change(b.now + k, b.before + k) >= strongest;
        }
    const float count = float(b.across * b.down);
    return {float(sum) / float(strongest) / count, float(moved) / count};
}

// Block i's share of frame f's luminance change, the way the block went then.
void luminanceShares(FlashAnalyser& a, const Rings& r, long f, size_t i, float& strength, float& cover) {
    const size_t at = r.at(f, i);
    if (a.strengthRing[at] == kUnknown) {
        const int way = a.luminanceRing[at] >= a.luminanceRing[r.at(f - 1, i)] ? 1 : -1;
        const BlockChange c = blockChange(blockPixels(a, f, i), way, lighter);
        a.strengthRing[at] = c.strength;
        a.coverRing[at] = c.cover;
    }
    strength = a.strengthRing[at];
    cover = a.coverRing[at];
}

float redCover(FlashAnalyser& a, const Rings& r, long f, size_t i) {
    float& cover = a.redCoverRing[r.at(f, i)];
    if (cover == kUnknown) cover = blockChange(blockPixels(a, f, i), 1, changed).cover;
    return cover;
}

// The strongest change and the widest cover of block i over the frames after `from`.
inline void changeSince(FlashAnalyser& a, const Rings& r, size_t i, long from, float& strength, float& cover) {
    strength = cover = 0.0f;
    for (long f = from + 1; f <= a.frames; ++f) {
        float s, c;
        luminanceShares(a, r, f, i, s, c);
        strength = std::max(strength, s);
        cover = std::max(cover, c);
    }
}

// Neither rule counts a change under kFlashChange (TRACE's bright pairs need 0.10 at the
// darker-state limit and more above it); a tenth off keeps float rounding clear of it.
constexpr float kSmallestCounted = 0.9f * kFlashChange;

// Luminance: a transition once the part of the block that moved has changed by the
// critical difference within the qualifying time.
inline void followLuminance(FlashAnalyser& a, size_t i, float Y, int pixels, RowsResult& result) {
    const Rings r{a.slotBase.data(), a.frames};
    const long n = a.frames;
    BlockRun& run = a.luminanceRuns[i];
    if (!followRun(run, Y - a.luminanceRing[r.at(n - 1, i)], n) || run.counted == (kTraceRule | kClassicRule))
        return;
    const long from = std::max<long>(n - a.span, run.start);
    const float ref = a.luminanceRing[r.at(from, i)];
    const float change = std::fabs(Y - ref);
    // A strength that is not 0 is at least one pixel's share of the block, so the part that
    // moved changed by at most `change` times the pixels: most blocks of a moving picture
    // stop here, before their pixels are looked at.
    if (change * float(pixels) < kSmallestCounted) return;
    float strengthNow, coverNow;
    luminanceShares(a, r, n, i, strengthNow, coverNow);
    // The part that moved changed by at most this much, and neither rule counts less than
    // kFlashChange.
    if (change < kFlashChange * strengthNow) return;
    float strength, cover;
    changeSince(a, r, i, from, strength, cover);
    if (strength <= 0.0f) return;  // its pixels moved the other way, on the whole
    const float low = std::min(ref, Y);
    const float high = low + change / strength;
    if (!(run.counted & kTraceRule) && reachesTrace(low, high)) {
        run.counted |= kTraceRule;
        a.traceTransitions[i] = {int32_t(n), run.way, cover};
        noteTransition(a, traceRule, i, result);
    }
    if (!(run.counted & kClassicRule) && reachesClassic(low, high)) {
        run.counted |= kClassicRule;
        a.classicTransitions[i] = {int32_t(n), run.way, cover};
        noteTransition(a, classicRule, i, result);
    }
}

// Red: towards or away from a saturated red, by at least kRedChroma in u'v'.
inline void followRed(FlashAnalyser& a, size_t i, RowsResult& result) {
    const Rings r{a.slotBase.data(), a.frames};
    const long n = a.frames;
    BlockRun& run = a.redRuns[i];
    const float redness = a.rednessRing[r.at(n, i)];
    if (!followRun(run, redness - a.rednessRing[r.at(n - 1, i)], n) || (run.counted & kRedRule)) return;
    const long from = std::max<long>(n - a.span, run.start);
    if (redness < kRedShare && a.rednessRing[r.at(from, i)] < kRedShare) return;
    float u0, v0, u1, v1;
    const size_t was = r.at(from, i) * 3, is = r.at(n, i) * 3;
    chromaOf(a.colourRing[was], a.colourRing[was + 1], a.colourRing[was + 2], u0, v0);
    chromaOf(a.colourRing[is], a.colourRing[is + 1], a.colourRing[is + 2], u1, v1);
    if ((u1 - u0) * (u1 - u0) + (v1 - v0) * (v1 - v0) < kRedChroma * kRedChroma) return;
    float cover = 0.0f;
    for (long f = from + 1; f <= n; ++f) cover = std::max(cover, redCover(a, r, f, i));
    run.counted |= kRedRule;
    a.redTransitions[i] = {int32_t(n), run.way, cover};
    noteTransition(a, redRule, i, result);
}

inline bool anySet(const unsigned char* bytes, size_t count) {
    uint64_t any = 0;
    size_t k = 0;
    for (; k + sizeof any <= count; k += sizeof any) {
        uint64_t word;
        std::memcpy(&word, bytes + k, sizeof word);
        any |= word;
    }
    for (; k < count; ++k) any |= bytes[k];
    return any != 0;
}

// Block means of linear colour over the block rows given, each block's transitions, and
// the copy of those rows kept for the frames that follow.
RowsResult analyseRows(FlashAnalyser& a, const unsigned char* rgb, BlockRows rows) {
    RowsResult result;
    const FrameLayout& L = a.layout;
    const std::array<float, 256>& lin = linearTable();
    const int bs = L.blockSide;
    const long n = a.frames;
    const size_t now = a.slotBase[0];
    const size_t rowBytes = size_t(L.width) * 3;
    unsigned char* kept = a.pixelRing.data() + a.pixelBase[0];
    const unsigned char* before = a.pixelRing.data() + a.pixelBase[1];
    std::vector<float> sumR(size_t(L.blocksX)), sumG(sumR.size()), sumB(sumR.size());
    std::vector<unsigned char> differs(rowBytes), moved(size_t(L.blocksX));
    for (int by = rows.first; by < rows.end; ++by) {
        std::fill(sumR.begin(), sumR.end(), 0.0f);
        std::fill(sumG.begin(), sumG.end(), 0.0f);
        std::fill(sumB.begin(), sumB.end(), 0.0f);
        const int y0 = by * bs, y1 = std::min(L.height, y0 + bs);
        // A block whose pixels are all as they were keeps its last means: a still part of
        // the picture costs a comparison of its bytes rather than a look-up of each. The
        // rows are kept for the frames that follow in the same pass.
        std::fill(differs.begin(), differs.end(), 0);
        for (int y = y0; y < y1; ++y) {
            const unsigned char* row = rgb + size_t(y) * rowBytes;
            const unsigned char* old = before + size_t(y) * rowBytes;
            unsigned char* keep = kept + size_t(y) * rowBytes;
            for (size_t k = 0; k < rowBytes; ++k) {
                differs[k] |= row[k] ^ old[k];
                keep[k] = row[k];
            }
        }
        for (int bx = 0; bx < L.blocksX; ++bx) {
            const size_t first = size_t(bx * bs) * 3, end = size_t(std::min(L.width, (bx + 1) * bs)) * 3;
            moved[size_t(bx)] = n == 0 || anySet(&differs[first], end - first);
        }
        for (int y = y0; y < y1; ++y) {
            const unsigned char* row = rgb + size_t(y) * rowBytes;
            for (int bx = 0; bx < L.blocksX; ++bx) {
                if (!moved[size_t(bx)]) continue;
                const int x0 = bx * bs, x1 = std::min(L.width, x0 + bs);
                float r = 0.0f, g = 0.0f, b = 0.0f;
                for (int x = x0; x < x1; ++x) {
                    const unsigned char* p = row + size_t(x) * 3;
                    r += lin[p[0]];
                    g += lin[p[1]];
                    b += lin[p[2]];
                }
                sumR[size_t(bx)] += r;
                sumG[size_t(bx)] += g;
                sumB[size_t(bx)] += b;
            }
        }

        for (int bx = 0; bx < L.blocksX; ++bx) {
            const int across = std::min(L.width, (bx + 1) * bs) - bx * bs;
            const float pixels = float(across * (y1 - y0)), share = 1.0f / pixels;
            const size_t i = size_t(by) * size_t(L.blocksX) + size_t(bx);
            const float* last = &a.colourRing[(a.slotBase[1] + i) * 3];
            const bool still = !moved[size_t(bx)];
            const float R = still ? last[0] : sumR[size_t(bx)] * share;
            const float G = still ? last[1] : sumG[size_t(bx)] * share;
            const float B = still ? last[2] : sumB[size_t(bx)] * share;
            const float Y = luminanceOf(R, G, B);
            result.luminance += double(Y) * pixels;
            a.blockLuminance[i] = Y;
            a.luminanceRing[now + i] = Y;
            a.rednessRing[now + i] = rednessOf(R, G, B);
            float* colour = &a.colourRing[(now + i) * 3];
            colour[0] = R, colour[1] = G, colour[2] = B;
            a.strengthRing[now + i] = a.coverRing[now + i] = a.redCoverRing[now + i] = kUnknown;
            // The first frame is where every block starts, not a change; a still block's
            // means are those before, so it neither starts nor ends a run.
            if (still || n == 0) continue;
            followLuminance(a, i, Y, across * (y1 - y0), result);
            followRed(a, i, result);
        }
    }
    return result;
}

// Every block read and followed; returns the frame's mean luminance. Reading every pixel
// is most of the analysis, so the frame's top and bottom halves are read on two threads:
// a video's decoder leaves a core idle part of the time.
float analyseBlocks(FlashAnalyser& a, const unsigned char* rgb) {
    const FrameLayout& L = a.layout;
    const int middle = L.blocksY / 2;
    const size_t blocks = size_t(L.blocksX) * size_t(L.blocksY);
    const size_t frameBytes = size_t(L.width) * size_t(L.height) * 3;
    for (int k = 0; k <= a.span; ++k) {
        const size_t slot = size_t((a.frames + a.span + 1 - k) % (a.span + 1));
        a.slotBase[size_t(k)] = slot * blocks;
        a.pixelBase[size_t(k)] = slot * frameBytes;
    }
    RowsResult top;
    std::thread upper([&] { top = analyseRows(a, rgb, {0, middle}); });
    const RowsResult bottom = analyseRows(a, rgb, {middle, L.blocksY});
    upper.join();
    for (int r = 0; r < 3; ++r)
        if (top.moved[r] || bottom.moved[r]) a.latestTransition[r] = a.frames;
    return float((top.luminance + bottom.luminance) / (double(L.width) * L.height));
}

inline void recordTransition(Tracker& t, int direction, long frame, float share, double fps) {
    // Flicker too fast to see as flashes: the run since the last transition this way fuses.
    if (t.stored >= 2) {
        const int beforeLast = (t.newest + kTransitionMemory - 1) % kTransitionMemory;
        if (double(frame - t.frames[beforeLast]) <= kFusedSeconds * fps + 1e-9) {
            t.newest = uint8_t(beforeLast);
            --t.stored;
            t.direction = direction;
            return;
        }
    }
    t.direction = direction;
    t.newest = uint8_t((t.newest + 1) % kTransitionMemory);
    t.frames[t.newest] = int32_t(frame);
    t.shares[t.newest] = share;
    if (t.stored < kTransitionMemory) ++t.stored;
}

// Transitions within the one second that ends with this frame, the frame a second
// back excluded; `share` gets the smallest share of the area any of them moved.
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

// The blocks whose transition under a rule falls within kTogetherSeconds, as summed-area
// tables of their cover, one rising and one falling, with their totals and the block rows
// and columns they span.
struct Together {
    std::vector<float> up, down;
    float totalUp = 0.0f, totalDown = 0.0f;
    Rect span;
};

void togetherTables(const FlashAnalyser& a, Rule rule, const std::vector<BlockTransition>& transitions, Together& t) {
    const FrameLayout& L = a.layout;
    const size_t stride = size_t(L.blocksX) + 1;
    t.up.assign(stride * (size_t(L.blocksY) + 1), 0.0f);
    t.down.assign(t.up.size(), 0.0f);
    t.span = {L.blocksX, L.blocksY, 0, 0};
    for (int by = 0; by < L.blocksY; ++by) {
        float rowUp = 0.0f, rowDown = 0.0f;
        const size_t first = size_t(by) * size_t(L.blocksX);
        const size_t above = size_t(by) * stride, here = above + stride;
        // Most rows have no block that made the transition lately: they add nothing.
        const long latest = a.rowTransition[rule][size_t(by)];
        if (latest < 0 || a.frames - latest > a.together) {
            std::copy(&t.up[above], &t.up[here], &t.up[here]);
            std::copy(&t.down[above], &t.down[here], &t.down[here]);
            continue;
        }
        for (int bx = 0; bx < L.blocksX; ++bx) {
            const BlockTransition& b = transitions[first + size_t(bx)];
            if (b.frame >= 0 && a.frames - b.frame <= a.together && b.cover > 0.0f) {
                (b.way > 0 ? rowUp : rowDown) += b.cover;
                t.span = {std::min(t.span.x0, bx), std::min(t.span.y0, by), std::max(t.span.x1, bx + 1),
                          std::max(t.span.y1, by + 1)};
            }
            t.up[here + size_t(bx) + 1] = t.up[above + size_t(bx) + 1] + rowUp;
            t.down[here + size_t(bx) + 1] = t.down[above + size_t(bx) + 1] + rowDown;
        }
    }
    t.totalUp = t.up.back();
    t.totalDown = t.down.back();
}

inline float rectSum(const std::vector<float>& table, size_t stride, int x, int y, int w, int h) {
    const size_t top = size_t(y) * stride, bottom = size_t(y + h) * stride;
    return table[bottom + size_t(x + w)] - table[top + size_t(x + w)] - table[bottom + size_t(x)] +
           table[top + size_t(x)];
}

// Each position's transition, where the blocks that moved together cover enough of it.
// Only positions that overlap those blocks can, and none can when all of them together
// would not cover enough of one.
void trackPositions(const FlashAnalyser& a, AreaTrackers& area, const Together& together,
                    std::vector<Tracker>& trackers, std::vector<uint32_t>& active, std::vector<uint8_t>& isActive) {
    const float blocksIn = float(area.sideX) * float(area.sideY);
    const float enough = float(kAreaShare) * blocksIn;
    if (together.totalUp <= enough && together.totalDown <= enough) return;
    const size_t stride = size_t(a.layout.blocksX) + 1;
    const Rect& s = together.span;
    const int x0 = std::max(0, s.x0 - area.sideX + 1), x1 = std::min(area.positionsX, s.x1);
    const int y0 = std::max(0, s.y0 - area.sideY + 1), y1 = std::min(area.positionsY, s.y1);
    for (int py = y0; py < y1; ++py)
        for (int px = x0; px < x1; ++px) {
            const float rise = rectSum(together.up, stride, px, py, area.sideX, area.sideY);
            const float fall = rectSum(together.down, stride, px, py, area.sideX, area.sideY);
            const size_t p = size_t(py) * size_t(area.positionsX) + size_t(px);
            Tracker& t = trackers[p];
            int way = 0;
            if (rise > enough && t.direction != 1) way = 1;
            else if (fall > enough && t.direction != -1) way = -1;
            if (way == 0) continue;
            recordTransition(t, way, a.frames, (way > 0 ? rise : fall) / blocksIn, a.fps);
            if (!isActive[p]) {
                isActive[p] = 1;
                active.push_back(uint32_t(p));
            }
        }
}

struct AreaCount {
    int transitions = 0;  // the most transitions in the last second of any position
    float area = 0.0f;    // the share of that position's area they moved
    uint32_t position = 0;
};

// The worst position; positions with nothing left in the last second leave the list.
AreaCount worstPosition(const FlashAnalyser& a, const std::vector<Tracker>& trackers, std::vector<uint32_t>& active,
                        std::vector<uint8_t>& isActive) {
    AreaCount worst;
    size_t kept = 0;
    for (uint32_t p : active) {
        float share = 0.0f;
        const int n = transitionsInLastSecond(trackers[p], a.frames, a.fps, share);
        if (n == 0) {
            isActive[p] = 0;
            continue;
        }
        active[kept++] = p;
        if (n > worst.transitions || (n == worst.transitions && share > worst.area)) {
            worst.transitions = n;
            worst.area = share;
            worst.position = p;
        }
    }
    active.resize(kept);
    return worst;
}

// So that whoever mends the content knows where on the screen to look.
Rect positionPixels(const FrameLayout& L, const AreaTrackers& area, const AreaCount& count) {
    if (count.transitions == 0) return Rect();
    const int px = int(count.position % uint32_t(area.positionsX)), py = int(count.position / uint32_t(area.positionsX));
    return {px * L.blockSide, py * L.blockSide, std::min(L.width, (px + area.sideX) * L.blockSide),
            std::min(L.height, (py + area.sideY) * L.blockSide)};
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
    f.meanLuminance = analyseBlocks(a, rgb);

    // A frame's figures hold for its whole interval, so a run of frames lasts until the
    // last one's interval ends.
    const double frameEnd = double(a.frames + 1) / a.fps;
    // Each rule's tables once, and only while some block made a transition recently enough.
    const std::vector<BlockTransition>* transitions[3] = {&a.traceTransitions, &a.classicTransitions,
                                                          &a.redTransitions};
    Together together[3];
    bool made[3] = {false, false, false};
    auto tables = [&](Rule rule) -> const Together* {
        if (a.latestTransition[rule] < 0 || a.frames - a.latestTransition[rule] > a.together) return nullptr;
        if (!made[rule]) togetherTables(a, rule, *transitions[rule], together[rule]);
        made[rule] = true;
        return &together[rule];
    };
    for (AreaTrackers& area : a.areas) {
        if (const Together* t = tables(area.brightContrast ? traceRule : classicRule))
            trackPositions(a, area, *t, area.luminance, area.activeLuminance, area.isActiveLuminance);
        if (const Together* t = tables(redRule))
            trackPositions(a, area, *t, area.redness, area.activeRed, area.isActiveRed);
        const AreaCount general = worstPosition(a, area.luminance, area.activeLuminance, area.isActiveLuminance);
        const AreaCount red = worstPosition(a, area.redness, area.activeRed, area.isActiveRed);
        StandardFigures figures;
        figures.flashesPerSecond = general.transitions * 0.5f;
        figures.flashArea = general.area;
        figures.redPerSecond = red.transitions * 0.5f;
        figures.redArea = red.area;
        figures.flashWindow = positionPixels(a.layout, area, general);
        figures.redWindow = positionPixels(a.layout, area, red);
        figures.general = levelOf(general.transitions);
        figures.red = levelOf(red.transitions);
        if (figures.general != Level::pass || figures.red != Level::pass) {
            if (area.flashingSince < 0.0) area.flashingSince = f.time;
            figures.extended = frameEnd - area.flashingSince > kExtendedSeconds + 1e-9;
        } else {
            area.flashingSince = -1.0;
        }
        for (int s = 0; s < kStandardCount; ++s) {
            if (!judges(a.judged, Standard(s)) || kRules[s].area != area.kind) continue;
            f.standards[s] = figures;
            f.standards[s].extended = figures.extended && kRules[s].extended;
            if (!kRules[s].redLimit && figures.red == Level::fail) f.standards[s].red = Level::warning;
        }
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
