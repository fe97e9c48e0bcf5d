// The regular-stripe check: in each window, the bars' direction from the structure
// tensor of the block luminance, a profile across the bars, and whether its light-dark
// pairs repeat evenly; then the largest area of like stripes over the screen, how many
// pairs cross it and whether they move.
#include "flashcheck.h"
#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265f;
// Bars must dominate the window's edges: 1 is perfect stripes, 0 no direction at all.
constexpr float kMinCoherence = 0.5f;
// Even spacing: no pair more than this far from the mean width.
constexpr float kMaxPeriodSpread = 0.25f;
// At least this many whole pairs seen inside one window to call them regular.
constexpr int kMinPairsSeen = 2;
// Windows belong to one area of stripes when their bars lie within this angle and
// their widths within this ratio.
constexpr float kSameAngle = 20.0f * kPi / 180.0f;
constexpr float kSameWidth = 1.4f;
// Stripes move when this share of the profile changed by more than half their contrast
// since the last frame: a bar's edge that moved by one block does. Slow stripes move one
// block every few frames; they count as moving for this long after.
constexpr float kMovedSamples = 0.02f;
constexpr double kMovingMemory = 0.5;

float blockAt(const FlashAnalyser& a, float x, float y) {
    const FrameLayout& L = a.layout;
    int bx = std::min(L.blocksX - 1, std::max(0, int(x)));
    int by = std::min(L.blocksY - 1, std::max(0, int(y)));
    return a.blockLuminance[size_t(by) * size_t(L.blocksX) + size_t(bx)];
}

float angleApart(float a, float b) {
    float d = std::fabs(a - b);
    return std::min(d, kPi - d);
}

WindowStripes stripesIn(const FlashAnalyser& a, const Rect& w) {
    WindowStripes s;
    const FrameLayout& L = a.layout;
    // The structure tensor over every other block: the mean of the gradients' outer products.
    double jxx = 0.0, jyy = 0.0, jxy = 0.0;
    for (int y = std::max(1, w.y0); y < std::min(L.blocksY - 1, w.y1); y += 2)
        for (int x = std::max(1, w.x0); x < std::min(L.blocksX - 1, w.x1); x += 2) {
            const float* row = &a.blockLuminance[size_t(y) * size_t(L.blocksX)];
            double gx = row[x + 1] - row[x - 1];
            double gy = row[size_t(x) + size_t(L.blocksX)] - row[x - L.blocksX];
            jxx += gx * gx;
            jyy += gy * gy;
            jxy += gx * gy;
        }
    const double energy = jxx + jyy;
    if (energy <= 1e-9) return s;
    const double coherence = std::sqrt((jxx - jyy) * (jxx - jyy) + 4.0 * jxy * jxy) / energy;
    if (coherence < kMinCoherence) return s;
    float angle = 0.5f * float(std::atan2(2.0 * jxy, jxx - jyy));
    if (angle < 0.0f) angle += kPi;

    // The profile across the bars through the centre, each sample the mean along the bars
    // over half the window's side.
    const int side = std::min(w.x1 - w.x0, w.y1 - w.y0);
    if (side < 8) return s;
    const float cx = 0.5f * float(w.x0 + w.x1), cy = 0.5f * float(w.y0 + w.y1);
    const float dx = std::cos(angle), dy = std::sin(angle);
    std::vector<float> profile(static_cast<size_t>(side));
    const int band = std::max(1, side / 4);
    for (int i = 0; i < side; ++i) {
        const float along = float(i) - 0.5f * float(side) + 0.5f;
        float sum = 0.0f;
        int n = 0;
        for (int u = -band; u <= band; u += 2, ++n)
            sum += blockAt(a, cx + along * dx - float(u) * dy, cy + along * dy + float(u) * dx);
        profile[size_t(i)] = sum / float(n);
    }

    float mean = 0.0f;
    for (float v : profile) mean += v;
    mean /= float(side);
    float light = 0.0f, dark = 0.0f;
    int lights = 0, darks = 0;
    for (float v : profile) {
        if (v > mean) light += v, ++lights;
        else dark += v, ++darks;
    }
    if (lights == 0 || darks == 0) return s;
    light /= float(lights);
    dark /= float(darks);
    const float contrast = light - dark;
    if (contrast < kPatternContrast || light < kPatternLightest) return s;

    // Rising crossings with hysteresis, so that noise on a bar does not split it.
    const float high = mean + 0.25f * contrast, low = mean - 0.25f * contrast;
    std::vector<int> rises;
    int state = 0;  // -1 below, 1 above
    for (int i = 0; i < side; ++i) {
        const float v = profile[size_t(i)];
        if (v > high) {
            if (state == -1) rises.push_back(i);
            state = 1;
        } else if (v < low) {
            state = -1;
        }
    }
    if (int(rises.size()) < kMinPairsSeen + 1) return s;
    const float period = float(rises.back() - rises.front()) / float(rises.size() - 1);
    for (size_t i = 1; i < rises.size(); ++i)
        if (std::fabs(float(rises[i] - rises[i - 1]) - period) > kMaxPeriodSpread * period) return s;

    s.found = true;
    s.angle = angle;
    s.period = period;
    s.contrast = contrast;
    s.profile = std::move(profile);
    return s;
}

bool movedSince(const WindowStripes& before, const WindowStripes& now) {
    if (!before.found) return false;  // just appeared: nothing yet to compare with
    if (angleApart(before.angle, now.angle) > 0.1f || before.profile.size() != now.profile.size())
        return true;
    int changed = 0;
    for (size_t i = 0; i < now.profile.size(); ++i)
        if (std::fabs(now.profile[i] - before.profile[i]) > 0.5f * now.contrast) ++changed;
    return changed > kMovedSamples * float(now.profile.size());
}

} // namespace

StripeFigures findStripes(FlashAnalyser& a) {
    const FrameLayout& L = a.layout;
    const size_t count = L.windows.size();
    std::vector<WindowStripes> now(count);
    std::vector<bool> moving(count, false);
    std::vector<size_t> found;
    for (size_t w = 0; w < count; ++w) {
        now[w] = stripesIn(a, L.windows[w]);
        if (!now[w].found) continue;
        if (movedSince(a.stripes[w], now[w])) now[w].movedAt = a.frames;
        else if (a.stripes[w].found) now[w].movedAt = a.stripes[w].movedAt;
        moving[w] = now[w].movedAt >= 0 && double(a.frames - now[w].movedAt) < kMovingMemory * a.fps;
        found.push_back(w);
    }

    StripeFigures best;
    const int cellsX = int(L.cellEdgesX.size()) - 1, cellsY = int(L.cellEdgesY.size()) - 1;
    const double screenBlocks = double(L.blocksX) * double(L.blocksY);
    for (size_t seed : found) {
        const WindowStripes& s = now[seed];
        std::vector<char> covered(size_t(cellsX) * size_t(cellsY), 0);
        const float dx = std::cos(s.angle), dy = std::sin(s.angle);
        float lowest = 1e30f, highest = -1e30f, periods = 0.0f;
        int members = 0, movers = 0;
        for (size_t w : found) {
            const WindowStripes& o = now[w];
            if (angleApart(o.angle, s.angle) > kSameAngle) continue;
            if (o.period > s.period * kSameWidth || s.period > o.period * kSameWidth) continue;
            ++members;
            movers += moving[w] ? 1 : 0;
            periods += o.period;
            const Rect& c = L.windowCells[w];
            for (int cy = c.y0; cy < c.y1; ++cy)
                for (int cx = c.x0; cx < c.x1; ++cx) covered[size_t(cy) * size_t(cellsX) + size_t(cx)] = 1;
            const Rect& r = L.windows[w];
            for (int corner = 0; corner < 4; ++corner) {
                const float x = float(corner & 1 ? r.x1 : r.x0), y = float(corner & 2 ? r.y1 : r.y0);
                lowest = std::min(lowest, x * dx + y * dy);
                highest = std::max(highest, x * dx + y * dy);
            }
        }
        double area = 0.0;
        for (int cy = 0; cy < cellsY; ++cy)
            for (int cx = 0; cx < cellsX; ++cx)
                if (covered[size_t(cy) * size_t(cellsX) + size_t(cx)])
                    area += double(L.cellEdgesX[size_t(cx) + 1] - L.cellEdgesX[size_t(cx)]) *
                            double(L.cellEdgesY[size_t(cy) + 1] - L.cellEdgesY[size_t(cy)]);
        const float share = float(area / screenBlocks);
        if (share <= best.share) continue;
        best.share = share;
        best.pairs = int((highest - lowest) / (periods / float(members)));
        best.moving = 2 * movers > members;
    }
    best.overLimit = best.share > kPatternScreenShare &&
                     best.pairs > (best.moving ? kMovingPairLimit : kStaticPairLimit);
    a.stripes = std::move(now);
    return best;
}
