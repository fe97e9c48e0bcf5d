// Drawing primitives for the baked images: colour maths, coverage masks from signed
// distances and scanlines, text through stb_truetype, stb_perlin's noise, PNG output.
#include "canvas.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace bake {

// ---------------------------------------------------------------------------------------
// Colours and canvases

static float linearFromSrgb(float v) {
    return v <= 0.04045f ? v / 12.92f : std::pow((v + 0.055f) / 1.055f, 2.4f);
}

static float srgbFromLinear(float v) {
    v = clamp01(v);
    return v <= 0.0031308f ? v * 12.92f : 1.055f * std::pow(v, 1.0f / 2.4f) - 0.055f;
}

static float luminanceOfLinear(float r, float g, float b) { return 0.2126f * r + 0.7152f * g + 0.0722f * b; }

float luminanceOf(Rgba c) {
    return luminanceOfLinear(linearFromSrgb(c.r), linearFromSrgb(c.g), linearFromSrgb(c.b));
}

// atLuminance for a colour already in linear light (r, g, b) with alpha `a`.
static Rgba linearAtLuminance(float r, float g, float b, float a, float luminance) {
    float now = luminanceOfLinear(r, g, b);
    float k = now > 1e-5f ? luminance / now : 0.0f;
    r *= k, g *= k, b *= k;
    if (now <= 1e-5f) r = g = b = luminance;
    float top = std::max(r, std::max(g, b));
    if (top > 1.0f) {
        r /= top, g /= top, b /= top;
        float reached = luminanceOfLinear(r, g, b);
        float toWhite = clamp01((luminance - reached) / (1.0f - reached));
        r += (1.0f - r) * toWhite, g += (1.0f - g) * toWhite, b += (1.0f - b) * toWhite;
    }
    return {srgbFromLinear(r), srgbFromLinear(g), srgbFromLinear(b), a};
}

Rgba atLuminance(Rgba c, float luminance) {
    return linearAtLuminance(linearFromSrgb(c.r), linearFromSrgb(c.g), linearFromSrgb(c.b), c.a, luminance);
}

Rgba towardsLuminance(Rgba c, float luminance, float keep) {
    float r = linearFromSrgb(c.r), g = linearFromSrgb(c.g), b = linearFromSrgb(c.b);
    return linearAtLuminance(r, g, b, c.a, luminance + keep * (luminanceOfLinear(r, g, b) - luminance));
}

Canvas makeCanvas(int width, int height, Rgba fill) {
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.pixels.assign(static_cast<size_t>(width) * height, fill);
    return canvas;
}

void flipHorizontally(Canvas& canvas) {
    for (int y = 0; y < canvas.height; ++y) {
        auto row = canvas.pixels.begin() + static_cast<long>(y) * canvas.width;
        std::reverse(row, row + canvas.width);
    }
}

// One axis of the reduction: each output sample averages the source interval it covers,
// partial pixels at either end weighted by their overlap.
static std::vector<Rgba> reduceLine(const std::vector<Rgba>& src, int outLength) {
    std::vector<Rgba> out(outLength);
    float step = static_cast<float>(src.size()) / outLength;
    for (int i = 0; i < outLength; ++i) {
        float from = i * step, to = from + step;
        Rgba sum{0.0f, 0.0f, 0.0f, 0.0f};
        for (int k = static_cast<int>(from); k < static_cast<int>(std::ceil(to)) && k < static_cast<int>(src.size()); ++k) {
            float w = std::min(to, k + 1.0f) - std::max(from, static_cast<float>(k));
            const Rgba& p = src[k];
            sum = {sum.r + p.r * w, sum.g + p.g * w, sum.b + p.b * w, sum.a + p.a * w};
        }
        out[i] = {sum.r / step, sum.g / step, sum.b / step, sum.a / step};
    }
    return out;
}

Canvas downsampled(const Canvas& canvas, int width, int height) {
    // Premultiply, reduce rows then columns, and divide the alpha out again.
    Canvas rows = makeCanvas(width, canvas.height, Rgba{});
    std::vector<Rgba> line(canvas.width);
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            Rgba p = pixelAt(canvas, x, y);
            line[x] = {p.r * p.a, p.g * p.a, p.b * p.a, p.a};
        }
        std::vector<Rgba> reduced = reduceLine(line, width);
        for (int x = 0; x < width; ++x) pixelAt(rows, x, y) = reduced[x];
    }
    Canvas out = makeCanvas(width, height, Rgba{});
    std::vector<Rgba> column(canvas.height);
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < canvas.height; ++y) column[y] = pixelAt(rows, x, y);
        std::vector<Rgba> reduced = reduceLine(column, height);
        for (int y = 0; y < height; ++y) {
            Rgba p = reduced[y];
            float a = p.a > 1e-6f ? p.a : 1.0f;
            pixelAt(out, x, y) = {p.r / a, p.g / a, p.b / a, p.a};
        }
    }
    return out;
}

void fadeTopAndBottom(Canvas& canvas, Rgba edge, int band) {
    for (int y = 0; y < canvas.height; ++y) {
        int fromEdge = std::min(y, canvas.height - 1 - y);
        if (fromEdge >= band) continue;
        float t = smoothstep(0.0f, 1.0f, fromEdge / static_cast<float>(band));
        for (int x = 0; x < canvas.width; ++x) {
            Rgba& p = pixelAt(canvas, x, y);
            p = mix(edge, p, t);
        }
    }
}

// ---------------------------------------------------------------------------------------
// Masks

Mask makeMask(int width, int height) {
    Mask mask;
    mask.width = width;
    mask.height = height;
    mask.coverage.assign(static_cast<size_t>(width) * height, 0.0f);
    return mask;
}

static float& coverageAt(Mask& mask, int x, int y) {
    return mask.coverage[static_cast<size_t>(y) * mask.width + x];
}

static float coverageAt(const Mask& mask, int x, int y) {
    if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) return 0.0f;
    return mask.coverage[static_cast<size_t>(y) * mask.width + x];
}

// A mask mostly covers a small part of its canvas: painting looks at a run of pixels at
// once and passes over it when none is covered, the same test as for each pixel.
bool runIsEmpty(const float* coverage, int count) {
    int covered = 0;
    if (count == kCoverageRun)  // a loop of known length the compiler makes into a few vector steps
        for (int i = 0; i < kCoverageRun; ++i) covered |= coverage[i] > 0.0f;
    else
        for (int i = 0; i < count; ++i) covered |= coverage[i] > 0.0f;
    return covered == 0;
}

void paintMask(Canvas& canvas, const Mask& mask, Rgba colour) {
    const int count = static_cast<int>(canvas.pixels.size());
    for (int from = 0; from < count; from += kCoverageRun) {
        const int to = std::min(count, from + kCoverageRun);
        if (runIsEmpty(&mask.coverage[from], to - from)) continue;
        for (int i = from; i < to; ++i)
            if (mask.coverage[i] > 0.0f) blendOver(canvas.pixels[i], colour, mask.coverage[i]);
    }
}

// The smallest rectangle holding every covered pixel, grown by `margin` and clipped to the
// mask; empty (x0 > x1) when nothing is covered. Blurs and outlines work inside it only,
// since most masks cover a small part of a large canvas.
struct Bounds {
    int x0, y0, x1, y1;
};

static Bounds coveredBounds(const Mask& mask, int margin) {
    Bounds b{mask.width, mask.height, -1, -1};
    for (int y = 0; y < mask.height; ++y) {
        const float* row = &mask.coverage[static_cast<size_t>(y) * mask.width];
        for (int from = 0; from < mask.width; from += kCoverageRun) {
            const int to = std::min(mask.width, from + kCoverageRun);
            if (runIsEmpty(row + from, to - from)) continue;
            for (int x = from; x < to; ++x)
                if (row[x] > 0.0f) {
                    b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
                    b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
                }
        }
    }
    if (b.x1 < 0) return b;
    return {std::max(0, b.x0 - margin), std::max(0, b.y0 - margin), std::min(mask.width - 1, b.x1 + margin),
            std::min(mask.height - 1, b.y1 + margin)};
}

// One box pass over a line of samples read at `stride`; outside the line counts as empty
// unless the line wraps round.
static void boxLine(float* line, size_t stride, int length, int radius, bool wraps, std::vector<float>& padded) {
    padded.assign(static_cast<size_t>(length) + 2 * radius + 1, 0.0f);
    if (wraps) {
        // Counting round instead of a remainder for every sample.
        int k = ((-radius % length) + length) % length;
        for (int i = 0; i < length + 2 * radius; ++i) {
            padded[i] = line[k * stride];
            if (++k == length) k = 0;
        }
    } else {
        for (int k = 0; k < length; ++k) padded[k + radius] = line[k * stride];
    }
    float norm = 1.0f / (2 * radius + 1), sum = 0.0f;
    for (int i = 0; i < 2 * radius + 1; ++i) sum += padded[i];
    for (int i = 0; i < length; ++i) {
        line[i * stride] = sum * norm;
        sum += padded[i + 2 * radius + 1] - padded[i];
    }
}

// boxLine's pass down `columns` neighbouring columns (at most kColumnBlock) at once: the
// same sums, column by column, but the mask is read a row at a time, where striding down
// one column at a time missed the cache at every sample.
constexpr int kColumnBlock = 16;

static void boxColumns(float* top, size_t stride, int columns, int length, int radius, std::vector<float>& padded) {
    padded.assign((static_cast<size_t>(length) + 2 * radius + 1) * kColumnBlock, 0.0f);
    for (int k = 0; k < length; ++k)
        for (int c = 0; c < columns; ++c) padded[static_cast<size_t>(k + radius) * kColumnBlock + c] = top[k * stride + c];
    float norm = 1.0f / (2 * radius + 1), sum[kColumnBlock] = {};
    for (int i = 0; i < 2 * radius + 1; ++i)
        for (int c = 0; c < columns; ++c) sum[c] += padded[static_cast<size_t>(i) * kColumnBlock + c];
    for (int i = 0; i < length; ++i)
        for (int c = 0; c < columns; ++c) {
            top[i * stride + c] = sum[c] * norm;
            sum[c] += padded[static_cast<size_t>(i + 2 * radius + 1) * kColumnBlock + c] - padded[static_cast<size_t>(i) * kColumnBlock + c];
        }
}

Mask blurredMask(const Mask& mask, int radius, bool wrapsSideways) {
    Mask result = mask;
    if (radius <= 0) return result;
    // Three box passes each way come close to a Gaussian; together they reach 3 * radius.
    Bounds b = coveredBounds(mask, 3 * radius + 1);
    if (b.x1 < b.x0) return result;
    if (wrapsSideways) b.x0 = 0, b.x1 = mask.width - 1;
    std::vector<float> padded;
    for (int pass = 0; pass < 3; ++pass) {
        for (int y = b.y0; y <= b.y1; ++y)
            if (wrapsSideways)
                boxLine(&result.coverage[static_cast<size_t>(y) * mask.width], 1, mask.width, radius, true, padded);
            else
                boxLine(&result.coverage[static_cast<size_t>(y) * mask.width + b.x0], 1, b.x1 - b.x0 + 1, radius, false, padded);
        for (int x = b.x0; x <= b.x1; x += kColumnBlock)
            boxColumns(&result.coverage[static_cast<size_t>(b.y0) * mask.width + x], mask.width,
                       std::min(kColumnBlock, b.x1 - x + 1), b.y1 - b.y0 + 1, radius, padded);
    }
    return result;
}

Mask grownMask(const Mask& mask, float radius) {
    Mask result = makeMask(mask.width, mask.height);
    int r = static_cast<int>(std::ceil(radius));
    struct Tap {
        int dx, dy;
        float weight;
    };
    std::vector<Tap> taps;
    for (int dy = -r; dy <= r; ++dy)
        for (int dx = -r; dx <= r; ++dx) {
            float w = clamp01(radius + 0.5f - std::sqrt(static_cast<float>(dx * dx + dy * dy)));
            if (w > 0.0f) taps.push_back({dx, dy, w});
        }
    Bounds b = coveredBounds(mask, r + 1);
    if (b.x1 < b.x0) return result;
    // Tap by tap along each row: the largest of the same products as taking each pixel's
    // taps in turn (a maximum does not mind the order), but over whole rows with no bounds
    // test per tap. Taps falling outside the mask count as empty and change nothing.
    std::vector<float> best(static_cast<size_t>(b.x1 - b.x0) + 1);
    for (int y = b.y0; y <= b.y1; ++y) {
        std::fill(best.begin(), best.end(), 0.0f);
        for (const Tap& t : taps) {
            int sy = y + t.dy;
            if (sy < 0 || sy >= mask.height) continue;
            const float* source = &mask.coverage[static_cast<size_t>(sy) * mask.width];
            int from = std::max(b.x0, -t.dx), to = std::min(b.x1, mask.width - 1 - t.dx);
            for (int x = from; x <= to; ++x) best[x - b.x0] = std::max(best[x - b.x0], source[x + t.dx] * t.weight);
        }
        std::copy(best.begin(), best.end(), &coverageAt(result, b.x0, y));
    }
    return result;
}

void subtractMask(Mask& from, const Mask& cut) {
    for (size_t i = 0; i < from.coverage.size(); ++i)
        from.coverage[i] = std::max(0.0f, from.coverage[i] - cut.coverage[i]);
}

// ---------------------------------------------------------------------------------------
// Shapes from signed distances: coverage is the distance clipped to one pixel of width.

template <typename Distance>
static void addDistanceShape(Mask& mask, float minX, float minY, float maxX, float maxY, Distance distanceAt) {
    int x0 = std::max(0, static_cast<int>(std::floor(minX)) - 1);
    int y0 = std::max(0, static_cast<int>(std::floor(minY)) - 1);
    int x1 = std::min(mask.width - 1, static_cast<int>(std::ceil(maxX)) + 1);
    int y1 = std::min(mask.height - 1, static_cast<int>(std::ceil(maxY)) + 1);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            float c = clamp01(0.5f - distanceAt(Vec2{x + 0.5f, y + 0.5f}));
            float& dst = coverageAt(mask, x, y);
            dst = std::max(dst, c);
        }
}

static float roundedBoxDistance(Vec2 p, Vec2 centre, Vec2 half, float radius) {
    float qx = std::fabs(p.x - centre.x) - (half.x - radius);
    float qy = std::fabs(p.y - centre.y) - (half.y - radius);
    float outside = length(Vec2{std::max(qx, 0.0f), std::max(qy, 0.0f)});
    return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

static float segmentDistance(Vec2 p, Vec2 a, Vec2 b) {
    Vec2 ab = b - a, ap = p - a;
    float len2 = dot(ab, ab);
    float t = len2 > 0.0f ? clamp01(dot(ap, ab) / len2) : 0.0f;
    return length(ap - ab * t);
}

void addCircle(Mask& mask, Vec2 c, float radius) {
    addDistanceShape(mask, c.x - radius, c.y - radius, c.x + radius, c.y + radius,
                     [&](Vec2 p) { return length(p - c) - radius; });
}

void addRing(Mask& mask, Vec2 c, float radius, float width) {
    float outer = radius + width * 0.5f;
    addDistanceShape(mask, c.x - outer, c.y - outer, c.x + outer, c.y + outer,
                     [&](Vec2 p) { return std::fabs(length(p - c) - radius) - width * 0.5f; });
}

void addEllipse(Mask& mask, Vec2 c, Vec2 radii) {
    addDistanceShape(mask, c.x - radii.x, c.y - radii.y, c.x + radii.x, c.y + radii.y, [&](Vec2 p) {
        Vec2 q{(p.x - c.x) / radii.x, (p.y - c.y) / radii.y};
        float k = length(q);
        float g = length(Vec2{q.x / radii.x, q.y / radii.y});
        // First-order distance to the ellipse: the implicit value over its gradient.
        return g > 0.0f ? k * (k - 1.0f) / g : -std::min(radii.x, radii.y);
    });
}

void addRect(Mask& mask, Vec2 min, Vec2 max) { addRoundedRect(mask, min, max, 0.0f); }

void addRoundedRect(Mask& mask, Vec2 min, Vec2 max, float radius) {
    Vec2 centre = (min + max) * 0.5f, half = (max - min) * 0.5f;
    addDistanceShape(mask, min.x, min.y, max.x, max.y,
                     [&](Vec2 p) { return roundedBoxDistance(p, centre, half, radius); });
}

void addRoundedRectOutline(Mask& mask, Vec2 min, Vec2 max, float radius, float width) {
    Vec2 centre = (min + max) * 0.5f, half = (max - min) * 0.5f;
    addDistanceShape(mask, min.x - width, min.y - width, max.x + width, max.y + width, [&](Vec2 p) {
        return std::fabs(roundedBoxDistance(p, centre, half, radius)) - width * 0.5f;
    });
}

void addSegment(Mask& mask, Vec2 a, Vec2 b, float width) {
    float h = width * 0.5f;
    addDistanceShape(mask, std::min(a.x, b.x) - h, std::min(a.y, b.y) - h, std::max(a.x, b.x) + h,
                     std::max(a.y, b.y) + h, [&](Vec2 p) { return segmentDistance(p, a, b) - h; });
}

void addArc(Mask& mask, Vec2 c, float radius, float from, float to, float width) {
    float h = width * 0.5f, outer = radius + h;
    Vec2 a = c + Vec2{std::cos(from), std::sin(from)} * radius, b = c + Vec2{std::cos(to), std::sin(to)} * radius;
    float span = to - from;
    addDistanceShape(mask, c.x - outer, c.y - outer, c.x + outer, c.y + outer, [&](Vec2 p) {
        Vec2 d = p - c;
        float angle = std::atan2(d.y, d.x) - from;
        angle -= std::floor(angle / (2.0f * kPi)) * 2.0f * kPi;
        if (angle <= span) return std::fabs(length(d) - radius) - h;
        return std::min(length(p - a), length(p - b)) - h;
    });
}

void addPolyline(Mask& mask, const std::vector<Vec2>& points, float width) {
    for (size_t i = 0; i + 1 < points.size(); ++i) addSegment(mask, points[i], points[i + 1], width);
}

// Scanline fill: four sub-rows per pixel row, exact coverage along each sub-row.
void addPolygon(Mask& mask, const std::vector<Vec2>& points) {
    if (points.size() < 3) return;
    float minY = points[0].y, maxY = points[0].y;
    for (Vec2 p : points) {
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    int y0 = std::max(0, static_cast<int>(std::floor(minY)));
    int y1 = std::min(mask.height - 1, static_cast<int>(std::ceil(maxY)));
    constexpr int kSubRows = 4;
    std::vector<float> row(mask.width);
    std::vector<float> crossings;
    for (int y = y0; y <= y1; ++y) {
        std::fill(row.begin(), row.end(), 0.0f);
        for (int sub = 0; sub < kSubRows; ++sub) {
            float sy = y + (sub + 0.5f) / kSubRows;
            crossings.clear();
            for (size_t i = 0; i < points.size(); ++i) {
                Vec2 a = points[i], b = points[(i + 1) % points.size()];
                if ((a.y <= sy && sy < b.y) || (b.y <= sy && sy < a.y))
                    crossings.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
            }
            std::sort(crossings.begin(), crossings.end());
            for (size_t i = 0; i + 1 < crossings.size(); i += 2) {
                float xa = std::max(0.0f, crossings[i]);
                float xb = std::min(static_cast<float>(mask.width), crossings[i + 1]);
                for (int px = static_cast<int>(std::floor(xa)); px < xb && px < mask.width; ++px) {
                    float overlap = std::min(xb, px + 1.0f) - std::max(xa, static_cast<float>(px));
                    if (overlap > 0.0f) row[px] += overlap / kSubRows;
                }
            }
        }
        for (int x = 0; x < mask.width; ++x) {
            float& dst = coverageAt(mask, x, y);
            dst = std::max(dst, std::min(1.0f, row[x]));
        }
    }
}

// ---------------------------------------------------------------------------------------
// Text

bool loadFont(Font& font, const std::string& path) {
    // Read whole: a byte at a time through a stream iterator took longer than a small logo.
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : -1;
    if (size > 0) {
        font.data.resize(static_cast<size_t>(size));
        in.seekg(0);
        in.read(reinterpret_cast<char*>(font.data.data()), size);
    }
    if (size <= 0 || !in) {
        std::printf("bake: cannot read font %s\n", path.c_str());
        return false;
    }
    if (!stbtt_InitFont(&font.info, font.data.data(), stbtt_GetFontOffsetForIndex(font.data.data(), 0))) {
        std::printf("bake: %s is not a TrueType font\n", path.c_str());
        return false;
    }
    return true;
}

bool loadFonts(Fonts& fonts) {
    const std::string dir = "/usr/share/fonts/truetype/dejavu/";
    return loadFont(fonts.sans, dir + "DejaVuSans.ttf") && loadFont(fonts.sansBold, dir + "DejaVuSans-Bold.ttf") &&
           loadFont(fonts.serif, dir + "DejaVuSerif.ttf") &&
           loadFont(fonts.serifBold, dir + "DejaVuSerif-Bold.ttf") &&
           loadFont(fonts.mono, dir + "DejaVuSansMono-Bold.ttf");
}

static std::vector<int> codepoints(const std::string& utf8) {
    std::vector<int> result;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        int extra = c < 0x80 ? 0 : (c >> 5) == 0x6 ? 1 : (c >> 4) == 0xe ? 2 : 3;
        int cp = extra == 0 ? c : extra == 1 ? (c & 0x1f) : extra == 2 ? (c & 0x0f) : (c & 0x07);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3f);
        result.push_back(cp);
        i += 1 + extra;
    }
    return result;
}

// Pen advance of glyph i, kerning towards the next one included.
static float advanceOf(const Font& font, const std::vector<int>& cps, size_t i, float scale, float tracking) {
    int advance = 0, lsb = 0;
    stbtt_GetCodepointHMetrics(&font.info, cps[i], &advance, &lsb);
    float a = advance * scale + tracking;
    if (i + 1 < cps.size()) a += stbtt_GetCodepointKernAdvance(&font.info, cps[i], cps[i + 1]) * scale;
    return a;
}

float textWidth(const Font& font, const std::string& utf8, float size, float tracking) {
    std::vector<int> cps = codepoints(utf8);
    float scale = stbtt_ScaleForPixelHeight(&font.info, size);
    float w = 0.0f;
    for (size_t i = 0; i < cps.size(); ++i) w += advanceOf(font, cps, i, scale, tracking);
    return cps.empty() ? 0.0f : w - tracking;
}

float fitTextSize(const Font& font, const std::string& utf8, float maxWidth, float maxSize, float tracking) {
    float w = textWidth(font, utf8, maxSize, tracking);
    return w <= maxWidth ? maxSize : maxSize * maxWidth / w;
}

void addText(Mask& mask, const Font& font, const std::string& utf8, Vec2 baselineLeft, float size, float tracking) {
    std::vector<int> cps = codepoints(utf8);
    float scale = stbtt_ScaleForPixelHeight(&font.info, size);
    float penX = baselineLeft.x;
    float baseY = std::floor(baselineLeft.y);
    float fracY = baselineLeft.y - baseY;
    for (size_t i = 0; i < cps.size(); ++i) {
        float baseX = std::floor(penX);
        int w = 0, h = 0, xoff = 0, yoff = 0;
        unsigned char* bitmap = stbtt_GetCodepointBitmapSubpixel(&font.info, scale, scale, penX - baseX, fracY,
                                                                 cps[i], &w, &h, &xoff, &yoff);
        for (int gy = 0; gy < h; ++gy)
            for (int gx = 0; gx < w; ++gx) {
                int x = static_cast<int>(baseX) + xoff + gx, y = static_cast<int>(baseY) + yoff + gy;
                if (x < 0 || y < 0 || x >= mask.width || y >= mask.height) continue;
                float& dst = coverageAt(mask, x, y);
                dst = std::max(dst, bitmap[gy * w + gx] / 255.0f);
            }
        stbtt_FreeBitmap(bitmap, nullptr);
        penX += advanceOf(font, cps, i, scale, tracking);
    }
}

void addTextCentred(Mask& mask, const Font& font, const std::string& utf8, float centreX, float baseline,
                    float size, float tracking) {
    float w = textWidth(font, utf8, size, tracking);
    addText(mask, font, utf8, {centreX - w * 0.5f, baseline}, size, tracking);
}

// Draws one glyph whose origin (pen position on the baseline) lands on `origin`, with the
// glyph's x axis along `along` and its y axis (downwards) along `down`, both unit vectors.
static void addGlyphPlaced(Mask& mask, const Font& font, int cp, float scale, Vec2 origin, Vec2 along, Vec2 down) {
    int w = 0, h = 0, xoff = 0, yoff = 0;
    unsigned char* bitmap = stbtt_GetCodepointBitmap(&font.info, scale, scale, cp, &w, &h, &xoff, &yoff);
    if (w > 0 && h > 0) {
        float minX = 1e9f, minY = 1e9f, maxX = -1e9f, maxY = -1e9f;
        for (int corner = 0; corner < 4; ++corner) {
            float gx = static_cast<float>(xoff + (corner & 1 ? w : 0));
            float gy = static_cast<float>(yoff + (corner & 2 ? h : 0));
            Vec2 p = origin + along * gx + down * gy;
            minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
            minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
        }
        auto sample = [&](int x, int y) -> float {
            if (x < 0 || y < 0 || x >= w || y >= h) return 0.0f;
            return bitmap[y * w + x] / 255.0f;
        };
        for (int y = std::max(0, static_cast<int>(minY) - 1); y <= std::min(mask.height - 1, static_cast<int>(maxY) + 1); ++y)
            for (int x = std::max(0, static_cast<int>(minX) - 1); x <= std::min(mask.width - 1, static_cast<int>(maxX) + 1); ++x) {
                Vec2 d = Vec2{x + 0.5f, y + 0.5f} - origin;
                // along and down are orthonormal, so the inverse is two dot products.
                float gx = dot(d, along) - xoff - 0.5f, gy = dot(d, down) - yoff - 0.5f;
                int ix = static_cast<int>(std::floor(gx)), iy = static_cast<int>(std::floor(gy));
                float fx = gx - ix, fy = gy - iy;
                float c = lerp(lerp(sample(ix, iy), sample(ix + 1, iy), fx),
                               lerp(sample(ix, iy + 1), sample(ix + 1, iy + 1), fx), fy);
                float& dst = coverageAt(mask, x, y);
                dst = std::max(dst, c);
            }
    }
    stbtt_FreeBitmap(bitmap, nullptr);
}

void addTextRotated(Mask& mask, const Font& font, const std::string& utf8, Vec2 centre, float size, float angle,
                    float tracking) {
    std::vector<int> cps = codepoints(utf8);
    float scale = stbtt_ScaleForPixelHeight(&font.info, size);
    Vec2 along{std::cos(angle), std::sin(angle)}, down{-std::sin(angle), std::cos(angle)};
    int ascent = 0, descent = 0, gap = 0;
    stbtt_GetFontVMetrics(&font.info, &ascent, &descent, &gap);
    // Centre the line on its width and on the middle of its capitals (about 0.35 of the size).
    float width = textWidth(font, utf8, size, tracking);
    float pen = -width * 0.5f;
    float lift = 0.35f * size;
    for (size_t i = 0; i < cps.size(); ++i) {
        Vec2 origin = centre + along * pen + down * lift;
        addGlyphPlaced(mask, font, cps[i], scale, origin, along, down);
        pen += advanceOf(font, cps, i, scale, tracking);
    }
}

void addTextOnArc(Mask& mask, const Font& font, const std::string& utf8, Vec2 centre, float radius,
                  float centreAngle, float size, float tracking, bool readsFromInside) {
    std::vector<int> cps = codepoints(utf8);
    float scale = stbtt_ScaleForPixelHeight(&font.info, size);
    float width = textWidth(font, utf8, size, tracking);
    // Outward-reading text runs clockwise along the top; inward-reading runs anticlockwise.
    float direction = readsFromInside ? -1.0f : 1.0f;
    float pen = -width * 0.5f;
    for (size_t i = 0; i < cps.size(); ++i) {
        float adv = advanceOf(font, cps, i, scale, tracking);
        // Angle at the glyph's pen position; angle 0 points up, growing clockwise.
        float a = centreAngle + direction * pen / radius;
        Vec2 radial{std::sin(a), -std::cos(a)};
        Vec2 along = readsFromInside ? Vec2{-radial.y, radial.x} * -1.0f : Vec2{-radial.y, radial.x};
        Vec2 down = readsFromInside ? radial : radial * -1.0f;
        addGlyphPlaced(mask, font, cps[i], scale, centre + radial * radius, along, down);
        pen += adv;
    }
}

// ---------------------------------------------------------------------------------------
// Noise

// stb_perlin's gradient noise, reproduced step for step so that every baked pixel keeps its
// value, but where the octave loops can inline it: noise is most of the baking time, and a
// call into the shared library for each sample costs as much again as the arithmetic.
// The tables are stb_perlin's (v0.5), whose own are these 256 entries twice over.
static const unsigned char kNoisePermutation[256] = {
    23, 125, 161, 52, 103, 117, 70, 37, 247, 101, 203, 169, 124, 126, 44, 123,
    152, 238, 145, 45, 171, 114, 253, 10, 192, 136, 4, 157, 249, 30, 35, 72,
    175, 63, 77, 90, 181, 16, 96, 111, 133, 104, 75, 162, 93, 56, 66, 240,
    8, 50, 84, 229, 49, 210, 173, 239, 141, 1, 87, 18, 2, 198, 143, 57,
    225, 160, 58, 217, 168, 206, 245, 204, 199, 6, 73, 60, 20, 230, 211, 233,
    94, 200, 88, 9, 74, 155, 33, 15, 219, 130, 226, 202, 83, 236, 42, 172,
    165, 218, 55, 222, 46, 107, 98, 154, 109, 67, 196, 178, 127, 158, 13, 243,
    65, 79, 166, 248, 25, 224, 115, 80, 68, 51, 184, 128, 232, 208, 151, 122,
    26, 212, 105, 43, 179, 213, 235, 148, 146, 89, 14, 195, 28, 78, 112, 76,
    250, 47, 24, 251, 140, 108, 186, 190, 228, 170, 183, 139, 39, 188, 244, 246,
    132, 48, 119, 144, 180, 138, 134, 193, 82, 182, 120, 121, 86, 220, 209, 3,
    91, 241, 149, 85, 205, 150, 113, 216, 31, 100, 41, 164, 177, 214, 153, 231,
    38, 71, 185, 174, 97, 201, 29, 95, 7, 92, 54, 254, 191, 118, 34, 221,
    131, 11, 163, 99, 234, 81, 227, 147, 156, 176, 17, 142, 69, 12, 110, 62,
    27, 255, 0, 194, 59, 116, 242, 252, 19, 21, 187, 53, 207, 129, 64, 135,
    61, 40, 167, 237, 102, 223, 106, 159, 197, 189, 215, 137, 36, 32, 22, 5,
};

// Which of the twelve gradients below a permutation entry picks.
static const unsigned char kNoiseGradientOf[256] = {
    7, 9, 5, 0, 11, 1, 6, 9, 3, 9, 11, 1, 8, 10, 4, 7,
    8, 6, 1, 5, 3, 10, 9, 10, 0, 8, 4, 1, 5, 2, 7, 8,
    7, 11, 9, 10, 1, 0, 4, 7, 5, 0, 11, 6, 1, 4, 2, 8,
    8, 10, 4, 9, 9, 2, 5, 7, 9, 1, 7, 2, 2, 6, 11, 5,
    5, 4, 6, 9, 0, 1, 1, 0, 7, 6, 9, 8, 4, 10, 3, 1,
    2, 8, 8, 9, 10, 11, 5, 11, 11, 2, 6, 10, 3, 4, 2, 4,
    9, 10, 3, 2, 6, 3, 6, 10, 5, 3, 4, 10, 11, 2, 9, 11,
    1, 11, 10, 4, 9, 4, 11, 0, 4, 11, 4, 0, 0, 0, 7, 6,
    10, 4, 1, 3, 11, 5, 3, 4, 2, 9, 1, 3, 0, 1, 8, 0,
    6, 7, 8, 7, 0, 4, 6, 10, 8, 2, 3, 11, 11, 8, 0, 2,
    4, 8, 3, 0, 0, 10, 6, 1, 2, 2, 4, 5, 6, 0, 1, 3,
    11, 9, 5, 5, 9, 6, 9, 8, 3, 8, 1, 8, 9, 6, 9, 11,
    10, 7, 5, 6, 5, 9, 1, 3, 7, 0, 2, 10, 11, 2, 6, 1,
    3, 11, 7, 7, 2, 1, 7, 3, 0, 8, 1, 1, 5, 0, 6, 10,
    11, 11, 0, 2, 7, 0, 10, 8, 3, 5, 7, 1, 11, 1, 0, 7,
    9, 0, 11, 5, 10, 3, 2, 3, 5, 9, 7, 9, 8, 4, 6, 5,
};

static const float kNoiseGradients[12][3] = {
    {1, 1, 0}, {-1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, {1, 0, 1}, {-1, 0, 1},
    {1, 0, -1}, {-1, 0, -1}, {0, 1, 1}, {0, -1, 1}, {0, 1, -1}, {0, -1, -1},
};

// Four floats (or ints) worked on lane by lane. Each lane does the very operations the
// scalar code did, so the values are the same; where the target has vector instructions,
// the four corners of a face of the noise cell cost about what one did.
typedef float Float4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));

// The tables as the noise reads them: the permutation twice over, as stb_perlin keeps it,
// so that sums of two entries need no wrapping, and for each sum the gradient it picks, as
// four floats (the last 0) that load as one.
struct NoiseTables {
    unsigned char permutation[512];
    Float4 gradient[512];
};

static NoiseTables makeNoiseTables() {
    NoiseTables t;
    for (int i = 0; i < 512; ++i) {
        t.permutation[i] = kNoisePermutation[i & 255];
        const float* g = kNoiseGradients[kNoiseGradientOf[i & 255]];
        t.gradient[i] = Float4{g[0], g[1], g[2], 0.0f};
    }
    return t;
}

static const NoiseTables kNoise = makeNoiseTables();

// Repeats every xMask + 1 along x and yMask + 1 along y (255 for no period of its own).
static inline float noise3(float x, float y, float z, unsigned xMask, unsigned yMask) {
    Float4 p{x, y, z, 0.0f};
    Int4 truncated = __builtin_convertvector(p, Int4);
    // Rounded towards minus infinity: a comparison's true lane is -1.
    Int4 cell = truncated + (p < __builtin_convertvector(truncated, Float4));
    Float4 f = p - __builtin_convertvector(cell, Float4);
    Float4 ease = ((f * 6.0f - 15.0f) * f + 10.0f) * f * f * f;
    // Indices unsigned, as stb_perlin's masks make them, so that no sign needs extending.
    unsigned x0 = cell[0] & xMask, x1 = (cell[0] + 1) & xMask;
    unsigned y0 = cell[1] & yMask, y1 = (cell[1] + 1) & yMask;
    unsigned z0 = cell[2] & 255, z1 = (cell[2] + 1) & 255;
    const unsigned char* perm = kNoise.permutation;
    unsigned r0 = perm[x0], r1 = perm[x1];
    unsigned r00 = perm[r0 + y0], r01 = perm[r0 + y1], r10 = perm[r1 + y0], r11 = perm[r1 + y1];
    // Lanes are the corners (x, y) = 00, 01, 10, 11; one set on the near face in z, one
    // on the far. The gradients are turned from rows (one per corner) into columns (one
    // per axis) so that each dot product runs g.x * x + g.y * y + g.z * z as before.
    const Float4* g = kNoise.gradient;
    float fx = f[0], fy = f[1], fz = f[2];
    Float4 cornerX{fx, fx, fx - 1, fx - 1}, cornerY{fy, fy - 1, fy, fy - 1};
    auto dots = [&](unsigned z, float cornerZ) {
        Float4 a = g[r00 + z], b = g[r01 + z], c = g[r10 + z], d = g[r11 + z];
        Float4 ab = __builtin_shufflevector(a, b, 0, 4, 1, 5), cd = __builtin_shufflevector(c, d, 0, 4, 1, 5);
        Float4 abZ = __builtin_shufflevector(a, b, 2, 6, 3, 7), cdZ = __builtin_shufflevector(c, d, 2, 6, 3, 7);
        Float4 gx = __builtin_shufflevector(ab, cd, 0, 1, 4, 5), gy = __builtin_shufflevector(ab, cd, 2, 3, 6, 7);
        Float4 gz = __builtin_shufflevector(abZ, cdZ, 0, 1, 4, 5);
        return gx * cornerX + gy * cornerY + gz * cornerZ;
    };
    Float4 near = dots(z0, fz), far = dots(z1, fz - 1);
    Float4 n = near + (far - near) * ease[2];
    float n0 = lerp(n[0], n[1], ease[1]), n1 = lerp(n[2], n[3], ease[1]);
    return lerp(n0, n1, ease[0]);
}

float perlin(float x, float y, float z) { return noise3(x, y, z, 255, 255); }

float fbm(float x, float y, float z, int octaves) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f, f = 1.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * noise3(x * f, y * f, z * f + i * 7.31f, 255, 255);
        total += amplitude;
        amplitude *= 0.5f;
        f *= 2.0f;
    }
    return sum / total;
}

float fbmWrapX(float x, float y, float z, int period, int octaves) { return fbmWrapXY(x, y, z, period, 0, octaves); }

float fbmWrapXY(float x, float y, float z, int periodX, int periodY, int octaves) {
    float sum = 0.0f, amplitude = 1.0f, total = 0.0f;
    int f = 1;
    // The noise repeats every 256 in any case, so octaves stop before a period would pass it.
    for (int i = 0; i < octaves && periodX * f <= 256 && periodY * f <= 256; ++i) {
        sum += amplitude * noise3(x * f, y * f, z + i * 7.31f, (periodX * f - 1) & 255, (periodY * f - 1) & 255);
        total += amplitude;
        amplitude *= 0.5f;
        f *= 2;
    }
    return total > 0.0f ? sum / total : 0.0f;
}

float hash01(int x, int y, int seed) {
    unsigned h = static_cast<unsigned>(x) * 0x8da6b343u ^ static_cast<unsigned>(y) * 0xd8163841u ^
                 static_cast<unsigned>(seed) * 0xcb1ab31fu;
    h ^= h >> 16;
    h *= 0x7feb352du;
    h ^= h >> 15;
    h *= 0x846ca68bu;
    h ^= h >> 16;
    return (h >> 8) * (1.0f / 16777216.0f);
}

}  // namespace bake
