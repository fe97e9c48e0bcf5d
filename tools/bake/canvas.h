// Drawing primitives for the baked images: float canvases, coverage masks built from
// anti-aliased shapes and text, noise, and the PNG encoding the demo decodes at start-up.
#pragma once

#include "vecmath.h"

#include <stb/stb_truetype.h>

#include <algorithm>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace bake {

// Colour with straight (not premultiplied) alpha; every channel 0..1, sRGB-encoded values.
struct Rgba {
    float r = 0.0f, g = 0.0f, b = 0.0f, a = 1.0f;
};

// Inline: the sky recipes call these for every sample of every layer, and an out-of-line
// call passes an Rgba through memory in halves that the callee reads back whole, which
// stalls on every call.
inline Rgba hex(unsigned rgb, float alpha = 1.0f) {
    return {((rgb >> 16) & 0xff) / 255.0f, ((rgb >> 8) & 0xff) / 255.0f, (rgb & 0xff) / 255.0f, alpha};
}
inline Rgba mix(Rgba a, Rgba b, float t) {
    return {lerp(a.r, b.r, t), lerp(a.g, b.g, t), lerp(a.b, b.b, t), lerp(a.a, b.a, t)};
}
inline Rgba scaled(Rgba c, float k) { return {c.r * k, c.g * k, c.b * k, c.a}; }
inline Rgba withAlpha(Rgba c, float alpha) { return {c.r, c.g, c.b, alpha}; }
// c.rgb + light.rgb * k, for glows and lit windows
inline Rgba added(Rgba c, Rgba light, float k) {
    return {c.r + light.r * k, c.g + light.g * k, c.b + light.b * k, c.a};
}
// Relative luminance, linear light 0..1: what the eye, and a check for flashing, takes as
// brightness.
float luminanceOf(Rgba c);
// The same hue at another relative luminance; a colour too saturated to reach it is
// lifted towards white.
Rgba atLuminance(Rgba c, float luminance);
// atLuminance(c, luminance + keep * (luminanceOf(c) - luminance)), with c taken into linear
// light once rather than twice: a haze that keeps `keep` of each colour's distance.
Rgba towardsLuminance(Rgba c, float luminance, float keep);

// Row 0 is the top row of the file; pixel (x, y) has its centre at (x + 0.5, y + 0.5).
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;
};

Canvas makeCanvas(int width, int height, Rgba fill);
inline Rgba& pixelAt(Canvas& canvas, int x, int y) { return canvas.pixels[static_cast<size_t>(y) * canvas.width + x]; }
inline Rgba pixelAt(const Canvas& canvas, int x, int y) {
    return canvas.pixels[static_cast<size_t>(y) * canvas.width + x];
}
// colourAt(x, y) gives each pixel from its centre. A template rather than a std::function,
// so that the colour, called for every pixel of the canvas, is inlined into the loop.
template <typename ColourAt>
void shadeCanvas(Canvas& canvas, const ColourAt& colourAt) {
    for (int y = 0; y < canvas.height; ++y)
        for (int x = 0; x < canvas.width; ++x) pixelAt(canvas, x, y) = colourAt(x + 0.5f, y + 0.5f);
}
inline void blendOver(Rgba& dst, Rgba src, float coverage) {
    float sa = clamp01(src.a * coverage);
    if (sa <= 0.0f) return;
    float keep = dst.a * (1.0f - sa);
    float oa = sa + keep;
    dst.r = (src.r * sa + dst.r * keep) / oa;
    dst.g = (src.g * sa + dst.g * keep) / oa;
    dst.b = (src.b * sa + dst.b * keep) / oa;
    dst.a = oa;
}
void flipHorizontally(Canvas& canvas);
// Area-averaged reduction (alpha-weighted, so transparent pixels lend no colour).
Canvas downsampled(const Canvas& canvas, int width, int height);
// Blends the top and bottom bands (each `band` pixels) into one colour, so that faces of a
// cube map made of copies of this image meet at their top and bottom edges.
void fadeTopAndBottom(Canvas& canvas, Rgba edge, int band);

// Coverage 0..1 per pixel. Shapes are unions: adding takes the larger coverage.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<float> coverage;
};

Mask makeMask(int width, int height);
void paintMask(Canvas& canvas, const Mask& mask, Rgba colour);
// Whether none of `count` coverage values is above zero: painting passes over such runs.
bool runIsEmpty(const float* coverage, int count);
constexpr int kCoverageRun = 16;
// A template, like shadeCanvas, so that the colour is inlined into the loop.
template <typename ColourAt>
void paintMask(Canvas& canvas, const Mask& mask, const ColourAt& colourAt) {
    // Outside the mask counts as uncovered.
    const int width = std::min(canvas.width, mask.width), height = std::min(canvas.height, mask.height);
    for (int y = 0; y < height; ++y) {
        const float* row = &mask.coverage[static_cast<size_t>(y) * mask.width];
        for (int from = 0; from < width; from += kCoverageRun) {
            const int to = std::min(width, from + kCoverageRun);
            if (runIsEmpty(row + from, to - from)) continue;
            for (int x = from; x < to; ++x) {
                float c = row[x];
                if (c > 0.0f) blendOver(pixelAt(canvas, x, y), colourAt(x + 0.5f, y + 0.5f), c);
            }
        }
    }
}
// A soft copy (close to a Gaussian of sigma ~ radius). Outside the mask counts as empty, or,
// for images that tile sideways, the mask repeats across its width.
Mask blurredMask(const Mask& mask, int radius, bool wrapsSideways = false);
Mask grownMask(const Mask& mask, float radius);  // outline: max over a disc
void subtractMask(Mask& from, const Mask& cut);

void addCircle(Mask& mask, Vec2 centre, float radius);
void addRing(Mask& mask, Vec2 centre, float radius, float width);
void addEllipse(Mask& mask, Vec2 centre, Vec2 radii);
void addRect(Mask& mask, Vec2 min, Vec2 max);
void addRoundedRect(Mask& mask, Vec2 min, Vec2 max, float radius);
void addRoundedRectOutline(Mask& mask, Vec2 min, Vec2 max, float radius, float width);
void addSegment(Mask& mask, Vec2 a, Vec2 b, float width);
// An arc from angle `from` to `to` (radians, clockwise on the image from +x), round caps.
void addArc(Mask& mask, Vec2 centre, float radius, float from, float to, float width);
void addPolyline(Mask& mask, const std::vector<Vec2>& points, float width);
void addPolygon(Mask& mask, const std::vector<Vec2>& points);  // even-odd rule

// A TrueType font read from a file; stbtt_fontinfo points into `data`, so a Font is
// loaded in place and never copied afterwards.
struct Font {
    std::vector<unsigned char> data;
    stbtt_fontinfo info{};
};

bool loadFont(Font& font, const std::string& path);

struct Fonts {
    Font sans;
    Font sansBold;
    Font serif;
    Font serifBold;
    Font mono;
};

bool loadFonts(Fonts& fonts);

// Sizes are stbtt pixel heights (ascent to descent); tracking is extra pixels per glyph.
float textWidth(const Font& font, const std::string& utf8, float size, float tracking = 0.0f);
float fitTextSize(const Font& font, const std::string& utf8, float maxWidth, float maxSize,
                  float tracking = 0.0f);
void addText(Mask& mask, const Font& font, const std::string& utf8, Vec2 baselineLeft, float size,
             float tracking = 0.0f);
void addTextCentred(Mask& mask, const Font& font, const std::string& utf8, float centreX,
                    float baseline, float size, float tracking = 0.0f);
// Text along a baseline turned by `angle` radians (clockwise on the image, since y points down).
void addTextRotated(Mask& mask, const Font& font, const std::string& utf8, Vec2 centre,
                    float size, float angle, float tracking = 0.0f);
// Text centred on `centreAngle` (radians, 0 = up, clockwise) around a circle; the glyphs stand
// on the circle with their tops outwards, or inwards when `readsFromInside`.
void addTextOnArc(Mask& mask, const Font& font, const std::string& utf8, Vec2 centre,
                  float radius, float centreAngle, float size, float tracking, bool readsFromInside);

float perlin(float x, float y, float z);
float fbm(float x, float y, float z, int octaves);
// Periodic in x with the given period (a power of two), for images that tile sideways.
float fbmWrapX(float x, float y, float z, int period, int octaves);
// Periodic in x and y, for textures wrapped round closed surfaces.
float fbmWrapXY(float x, float y, float z, int periodX, int periodY, int octaves);
float hash01(int x, int y, int seed);

// PNG bytes with 3 (RGB, composited over black) or 4 (RGBA) channels. An ordered dither
// hides the bands of slow gradients, at the price of a larger file that decodes slower.
std::vector<unsigned char> encodePng(const Canvas& canvas, int channels, bool dither);

}  // namespace bake
